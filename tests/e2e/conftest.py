"""End-to-end tests drive the stand-in and the simulated application through the drivers in tools/."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

import pytest  # noqa: E402

from cad_driver import CadSim  # noqa: E402
from standin_driver import Standin  # noqa: E402


@pytest.fixture
def standin(tmp_path):
    """A running stand-in with its own home folder, stopped after the test."""
    with Standin(home=str(tmp_path / "home")) as running:
        yield running


@pytest.fixture
def cad_factory(standin):
    """Starts simulated applications that find the stand-in; each is killed after the test."""
    started = []

    def start(*args, env=None):
        cad = CadSim(args, env=env or standin.env())
        started.append(cad)
        return cad

    yield start
    for cad in started:
        cad.kill()


def wait_ready(standin, path, since=0):
    """The first state message from `since` on that reports `path` as the ready drawing."""
    return standin.wait_for(lambda e: e["event"] == "state" and e["arguments"][0] is True
                            and e["arguments"][2] == path, 30, since)


def answered(standin, req_id):
    """Every answer the stand-in got so far for the request."""
    return [e for e in standin.events if e["event"] == "result" and e["reqId"] == req_id]


def plain_build():
    """Whether the build under test is the plain one (no sanitizer, not libc++): tests that only
    spend wall-clock time, the same in every configuration, run there alone."""
    build = os.environ.get("ORVIK_BUILD_DIR", "")
    try:
        with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
            text = cache.read()
    except OSError:
        return True
    return "ORVIK_SANITIZE:STRING=\n" in text and "ORVIK_LIBCXX:BOOL=ON" not in text


def hub_framework_or_skip():
    """Skips when the .NET SDK is missing, unless the run requires the hub framework tests (CI)."""
    from hub_standin_driver import sdk_missing

    missing = sdk_missing()
    if missing:
        if os.environ.get("ORVIK_REQUIRE_HUB_FRAMEWORK") == "1":
            pytest.fail("the hub framework tests are required, but " + missing, pytrace=False)
        pytest.skip("hub framework tests skipped: " + missing)


@pytest.fixture
def hub_standin(tmp_path):
    """The stand-in on the hub framework itself, with its own home folder, stopped after the test."""
    hub_framework_or_skip()
    from hub_standin_driver import HubStandin

    with HubStandin(home=str(tmp_path / "home")) as running:
        yield running


@pytest.fixture
def cad_for():
    """Starts simulated applications that find the given service; each is killed after the test."""
    started = []

    def start(service, *args):
        cad = CadSim(args, env=service.env())
        started.append(cad)
        return cad

    yield start
    for cad in started:
        cad.kill()
