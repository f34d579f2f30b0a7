"""Drives the runtime service stand-in built on the hub framework itself (tools/hub-standin/).

`HubStandin` is a `Standin` (tools/standin_driver.py) whose service is the C# program: the same
events and commands, with the framework's handshake, keep-alive, client time-out, JSON escaping,
receive limit and close record in front of the plug-in. What it cannot do: send raw records (the
framework writes every record itself), report the client's pings (the framework keeps them).

The program is built with the machine's .NET SDK alone on first use, into ORVIK_HUB_STANDIN_DIR
(default: build/hub-standin in the source tree), once for every configuration and test process:
a file lock keeps concurrent test files from building it twice. `sdk_missing()` tells whether
the SDK is there at all.
"""

import fcntl
import os
import shutil
import subprocess

from standin_driver import Standin, StandinError

SOURCE_DIR = os.environ.get("ORVIK_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
PROJECT_DIR = os.path.join(SOURCE_DIR, "tools", "hub-standin")
ARTIFACTS_DIR = os.environ.get("ORVIK_HUB_STANDIN_DIR") or os.path.join(SOURCE_DIR, "build", "hub-standin")
ASSEMBLY = os.path.join(ARTIFACTS_DIR, "bin", "hub-standin", "release", "hub-standin.dll")
DOTNET = shutil.which("dotnet")


def sdk_missing():
    """Why the stand-in cannot be built here, or None when it can."""
    if DOTNET is None:
        return "the .NET SDK (dotnet) is not installed"
    try:
        sdks = subprocess.run([DOTNET, "--list-sdks"], capture_output=True, text=True, timeout=60).stdout
    except (OSError, subprocess.TimeoutExpired) as error:
        return "dotnet does not run: %s" % error
    return None if sdks.strip() else "dotnet has no SDK"


def _newest_source_time():
    newest = 0.0
    for name in os.listdir(PROJECT_DIR):
        newest = max(newest, os.path.getmtime(os.path.join(PROJECT_DIR, name)))
    return newest


def ensure_built():
    """Builds the stand-in unless an up-to-date build is there; returns the assembly's path."""
    os.makedirs(ARTIFACTS_DIR, exist_ok=True)
    with open(os.path.join(ARTIFACTS_DIR, ".build-lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(ASSEMBLY) and os.path.getmtime(ASSEMBLY) >= _newest_source_time():
            return ASSEMBLY
        env = dict(os.environ, DOTNET_CLI_TELEMETRY_OPTOUT="1", DOTNET_NOLOGO="1",
                   DOTNET_SKIP_FIRST_TIME_EXPERIENCE="1")
        built = subprocess.run(
            [DOTNET, "build", os.path.join(PROJECT_DIR, "hub-standin.csproj"), "-c", "Release",
             "--artifacts-path", ARTIFACTS_DIR, "-nologo", "-v", "q"],
            capture_output=True, text=True, env=env, timeout=600)
        if built.returncode != 0:
            raise StandinError("building the hub stand-in failed:\n" + built.stdout + built.stderr)
        # The build keeps an unchanged output's old time; the check above must see it as fresh.
        os.utime(ASSEMBLY)
        return ASSEMBLY


class HubStandin(Standin):
    def __init__(self, home=None, port=0, instance_id=None, default_receive_limit=False):
        super().__init__(home=home, port=port, instance_id=instance_id,
                         extra_args=["--default-receive-limit"] if default_receive_limit else [])

    def command_line(self):
        return [DOTNET, ensure_built(), "--port", str(self.port), "--home", self.home,
                "--instance-id", self.instance_id] + self.extra_args

    def send_raw(self, text):
        raise StandinError("the hub framework writes every record itself")
