"""End-to-end tests drive the stand-in and the simulated application through the drivers in tools/."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

import pytest  # noqa: E402

from standin_driver import Standin  # noqa: E402


@pytest.fixture
def standin(tmp_path):
    """A running stand-in with its own home folder, stopped after the test."""
    with Standin(home=str(tmp_path / "home")) as running:
        yield running
