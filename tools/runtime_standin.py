#!/usr/bin/python3
"""A stand-in for the companion's runtime service, for developers and end-to-end tests.

It answers the health probe, writes the discovery file, and serves the /cadHub WebSocket hub
with its JSON handshake, record separators and pings, so the CAD plug-in finds it and connects
exactly as it would to the real service. Commands typed on standard input (or written by a
script, one JSON object per line with --json) are sent to the most recently connected client as
"ExecuteCommand" invocations; every answer, state message and other record the client sends is
printed. Run with --help for the command language.
"""

import argparse
import asyncio
import http
import itertools
import json
import os
import re
import signal
import sys
import tempfile
import threading
import time
import urllib.parse
import uuid

try:
    import websockets
except ImportError:  # printing the reference's examples needs no network library
    websockets = None

DEFAULT_PORT = 8165
HUB_PATH = "/cadHub"
HEALTH_PATH = "/api/lifecycle/health"
DISCOVERY_RELATIVE = os.path.join("Library", "Application Support", "OrvikKelm", "runtime.json")
RECORD_SEPARATOR = "\x1e"
PROTOCOL_VERSION = 1
MAX_MESSAGE_BYTES = 256 * 1024 * 1024
# The plug-in never answers a close frame, it just drops the socket on its next pass; waiting
# the library's default 10 s for a closing handshake would only slow down close and quit.
CLOSE_TIMEOUT_SECONDS = 2.0

HUMAN_COMMANDS = """\
Human mode (default) reads commands from standard input, one per line:
  exec ACTION [PARAMS...]   send "ExecuteCommand" to the most recently connected client; PARAMS
                            is the rest of the line, sent as the parameter text ("{}" if absent)
  send TEXT                 send TEXT as one hub record (the record separator is appended)
  example ACTION [NAME=VALUE...]
                            send the reference's example for ACTION (docs/PROTOCOL.md), its
                            placeholders <NAME> filled from the values given (<HOME> is --home)
  close                     close every client connection
  quit                      stop (end of input, SIGINT and SIGTERM also stop)
  help                      show this list
"""

EPILOG = "Driving the stand-in\n\n" + HUMAN_COMMANDS + """\
Example: start "%(prog)s --port 0 --home /tmp/h", start the CAD program with HOME=/tmp/h,
then type "exec getDwgPath {}".

The reference's examples: "%(prog)s --example ACTION" prints the example of ACTION from
docs/PROTOCOL.md and exits; add --send (and --set NAME=VALUE for each placeholder) to serve and
send it to the first client whose drawing is ready, printing the answer beside the documented one.

Machine mode (--json) prints one JSON object per line on standard output:
  {"event":"listening","port":P,"instanceId":I,"pid":N}
  {"event":"connected","conn":C,"path":"/cadHub?...","query":{"clientId":...}}
  {"event":"handshake","conn":C,"ok":true}
  {"event":"sent","conn":C,"reqId":R,"action":A}
  {"event":"state","conn":C,"arguments":[ready,name,path]}
  {"event":"result","conn":C,"reqId":R,"status":S,"result":T}
  {"event":"record","conn":C,"text":T}        any other client record (pings included)
  {"event":"disconnected","conn":C,"code":N,"reason":T}
  {"event":"error","message":T[,"reqId":R]}   a command that could not be carried out, or a
                                              request whose client left before answering
and reads one JSON command per line on standard input:
  {"cmd":"exec","reqId":"r1","action":"getDwgPath","params":"{}"}   (reqId optional)
  {"cmd":"send_raw","text":"..."}
  {"cmd":"close"}
  {"cmd":"quit"}
Example:
  %(prog)s serve --json --port 0 --home /tmp/h

End of standard input stops the stand-in unless --stay is given.
"""


def CompactJson(value):
    # The plug-in finds "target":"ExecuteCommand" and "arguments":[ by literal search, so records
    # must have no spaces; non-ASCII text goes as raw UTF-8, as the companion's framework writes it.
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def ExecuteCommandRecord(req_id, action, params):
    return CompactJson({"type": 1, "target": "ExecuteCommand", "arguments": [req_id, action, params]})


def SplitRecords(buffer, payload):
    """Appends payload to the pending text and returns (complete records, new pending text)."""
    pieces = (buffer + payload).split(RECORD_SEPARATOR)
    return pieces[:-1], pieces[-1]


def ClassifyRecord(text):
    """Turns one client record into the event that reports it."""
    try:
        # Strict, as the companion's own reader is: a raw control character would lose the record.
        record = json.loads(text)
    except ValueError:
        record = None
    if isinstance(record, dict) and record.get("type") == 1:
        args = record.get("arguments")
        args = args if isinstance(args, list) else []
        if record.get("target") == "CadStateChanged":
            return {"event": "state", "arguments": args}
        if record.get("target") == "CadResult":
            padded = args + [None] * (3 - len(args))
            return {"event": "result", "reqId": padded[0], "status": padded[1], "result": padded[2]}
    return {"event": "record", "text": text}


def ParseQuery(path):
    query = urllib.parse.urlsplit(path).query
    return dict(urllib.parse.parse_qsl(query, keep_blank_values=True))

REFERENCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "PROTOCOL.md"))
EXAMPLE_FIELDS = ("action", "params", "status", "result")
PLACEHOLDER = re.compile(r"<([A-Z][A-Z0-9_]*(?::[^<>]*)?|\u2026)>")


def ReadExamples(path=REFERENCE):
    """The examples of the reference, in document order: fenced blocks whose info string starts
    with "example". Each line is a field name, blanks and the value; a field given on several
    lines is those lines joined by line feeds. Returns dicts with the four fields, the session the
    example runs in ("session=NAME" in the info string, "sheets" by default), the heading it stands
    under and its line number."""
    examples = []
    heading, block = "", None
    with open(path, encoding="utf-8") as stream:
        for number, line in enumerate(stream, 1):
            line = line.rstrip("\n")
            if block is None:
                if line.startswith("#"):
                    heading = line.lstrip("#").strip()
                elif line.startswith("```example"):
                    options = dict(o.split("=", 1) for o in line[len("```example"):].split() if "=" in o)
                    block = {"session": options.get("session", "sheets"), "heading": heading,
                             "line": number, "lines": {}}
                continue
            if line.startswith("```"):
                fields = block.pop("lines")
                block.update({k: "\n".join(fields.get(k, [""])) for k in EXAMPLE_FIELDS})
                examples.append(block)
                block = None
                continue
            key, _, value = line.partition(" ")
            if key not in EXAMPLE_FIELDS:
                raise ValueError("%s:%d: unknown example field %r" % (path, number, key))
            block["lines"].setdefault(key, []).append(value.lstrip(" "))
    return examples


def FillPlaceholders(text, values):
    """The text with every <NAME> found in `values` replaced; others are left as they are."""
    return PLACEHOLDER.sub(lambda m: values.get(m.group(1), m.group(0)), text)


def ExamplesFor(action, path=REFERENCE):
    return [e for e in ReadExamples(path) if e["action"] == action]


def ExampleText(example):
    return "\n".join(("%-8s%s" % (field, value)).rstrip() for field in EXAMPLE_FIELDS
                     for value in example[field].split("\n"))


class Output:
    """Writes events as JSON lines (machine mode) or readable lines (human mode)."""

    def __init__(self, json_mode, verbose):
        self.json_mode = json_mode
        self.verbose = verbose
        self.broken = False

    def Emit(self, event):
        if self.json_mode:
            line = json.dumps(event, ensure_ascii=True)
        else:
            line = time.strftime("%H:%M:%S ") + HumanLine(event)
        try:
            sys.stdout.write(line + "\n")
            sys.stdout.flush()
        except (BrokenPipeError, ValueError):
            # Nobody reads us any more; the server keeps running until asked to stop.
            self.broken = True

    def Note(self, text):
        # Human-only chatter; machine readers get the events themselves.
        if not self.json_mode:
            self.Emit({"event": "note", "text": text})


def HumanLine(event):
    kind = event["event"]
    conn = "[%s] " % event["conn"] if "conn" in event else ""
    if kind == "listening":
        return "listening on 127.0.0.1:%d (pid %d, instance %s)" % (
            event["port"], event["pid"], event["instanceId"])
    if kind == "connected":
        lines = ["%sconnected %s" % (conn, event["path"])]
        lines += ["    %s = %s" % (k, v) for k, v in event["query"].items()]
        return "\n".join(lines)
    if kind == "handshake":
        return "%shandshake %s" % (conn, "ok" if event["ok"] else "refused: " + event["text"])
    if kind == "sent":
        return "%sExecuteCommand %s %s sent, waiting for its result" % (conn, event["reqId"], event["action"])
    if kind == "state":
        return "%sCadStateChanged %s" % (conn, CompactJson(event["arguments"]))
    if kind == "result":
        return "%sCadResult %s status=%s\n%s" % (conn, event["reqId"], event["status"], event["result"])
    if kind == "record":
        return "%srecord %s" % (conn, event["text"])
    if kind == "disconnected":
        return "%sdisconnected (code %s%s)" % (conn, event["code"], ", " + event["reason"] if event["reason"] else "")
    if kind == "http":
        return "HTTP GET %s -> %d" % (event["path"], event["status"])
    if kind == "error":
        return "error: %s%s" % (event["message"], " (request %s)" % event["reqId"] if "reqId" in event else "")
    return event.get("text", CompactJson(event))


class Client:
    """One WebSocket connection and what the hub knows about it."""

    def __init__(self, number, websocket):
        self.number = number
        self.websocket = websocket
        self.handshake_done = False
        self.pending = {}  # reqId -> action, for requests not answered yet
        self.buffer = ""


class Standin:
    def __init__(self, options, output):
        self.options = options
        self.output = output
        self.instance_id = options.instance_id or str(uuid.uuid4())
        self.pid = options.pid if options.pid is not None else os.getpid()
        self.port = None
        self.clients = []  # in connection order; the last ready one receives commands
        self.numbers = itertools.count(1)
        self.request_numbers = itertools.count(1)
        self.stop_event = None
        self.discovery_path = None
        self.discovery_text = None
        self.examples_sent = {}  # reqId -> the documented result, placeholders filled
        self.example_pending = False

    # ---- HTTP side -------------------------------------------------------------------------

    async def ProcessRequest(self, path, headers):
        route = urllib.parse.urlsplit(path).path
        if route == HUB_PATH:
            return None  # carry on with the WebSocket upgrade
        if route == HEALTH_PATH:
            body = CompactJson({"pid": self.pid, "port": self.port,
                                "protocolVersion": PROTOCOL_VERSION, "instanceId": self.instance_id})
            status, reply_headers, data = http.HTTPStatus.OK, [("Content-Type", "application/json")], body.encode()
        else:
            status, reply_headers, data = http.HTTPStatus.NOT_FOUND, [("Content-Type", "text/plain")], b"Not found\n"
        if self.output.verbose:
            self.output.Emit({"event": "http", "path": path, "status": status.value})
        # The library closes the connection after an early reply and adds "Connection: close".
        return status, reply_headers, data

    # ---- WebSocket side ----------------------------------------------------------------------

    async def Serve(self, websocket):
        client = Client(next(self.numbers), websocket)
        self.clients.append(client)
        self.output.Emit({"event": "connected", "conn": client.number, "path": websocket.path,
                          "query": ParseQuery(websocket.path)})
        pinger = None
        try:
            async for message in websocket:
                if isinstance(message, bytes):
                    message = message.decode("utf-8", errors="replace")
                records, client.buffer = SplitRecords(client.buffer, message)
                for text in records:
                    if not client.handshake_done:
                        if not await self.Handshake(client, text):
                            return
                        if self.options.ping_interval > 0:
                            pinger = asyncio.ensure_future(self.PingLoop(client))
                        continue
                    self.Report(client, text)
        except websockets.ConnectionClosed:
            pass
        finally:
            if pinger:
                pinger.cancel()
            self.clients.remove(client)
            if client.buffer:
                self.output.Emit({"event": "record", "conn": client.number, "text": client.buffer,
                                  "incomplete": True})
            for req_id in client.pending:
                self.output.Emit({"event": "error", "reqId": req_id,
                                  "message": "client disconnected before answering"})
            self.output.Emit({"event": "disconnected", "conn": client.number,
                              "code": websocket.close_code, "reason": websocket.close_reason or ""})

    async def Handshake(self, client, text):
        try:
            request = json.loads(text)
        except ValueError:
            request = None
        ok = (isinstance(request, dict) and request.get("protocol") == "json"
              and request.get("version") == PROTOCOL_VERSION)
        self.output.Emit({"event": "handshake", "conn": client.number, "ok": ok, "text": text})
        if not ok:
            await client.websocket.send(CompactJson({"error": "unsupported handshake"}) + RECORD_SEPARATOR)
            await client.websocket.close(1002, "unsupported handshake")
            return False
        client.handshake_done = True
        await client.websocket.send("{}" + RECORD_SEPARATOR)
        return True

    async def PingLoop(self, client):
        try:
            while True:
                await asyncio.sleep(self.options.ping_interval)
                await client.websocket.send(CompactJson({"type": 6}) + RECORD_SEPARATOR)
        except websockets.ConnectionClosed:
            pass

    def Report(self, client, text):
        event = ClassifyRecord(text)
        event["conn"] = client.number
        if event["event"] == "result" and isinstance(event["reqId"], str):
            client.pending.pop(event["reqId"], None)
        self.output.Emit(event)
        if event["event"] == "result" and event["reqId"] in self.examples_sent:
            self.output.Note("documented result:\n%s" % self.examples_sent.pop(event["reqId"]))
        # --send: the example goes out once the client's drawing is ready.
        if (event["event"] == "state" and self.options.example and self.options.send
                and not self.example_pending and event["arguments"][:1] == [True]):
            self.example_pending = True
            values = dict(v.split("=", 1) for v in self.options.set)
            asyncio.ensure_future(self.SendExample(self.options.example, values))

    def Target(self):
        ready = [c for c in self.clients if c.handshake_done and c.websocket.open]
        return ready[-1] if ready else None

    # ---- commands ------------------------------------------------------------------------------

    async def Exec(self, req_id, action, params):
        req_id = req_id or "standin-%d" % next(self.request_numbers)
        client = self.Target()
        if client is None:
            self.output.Emit({"event": "error", "reqId": req_id, "message": "no client connected"})
            return
        client.pending[req_id] = action
        try:
            await client.websocket.send(ExecuteCommandRecord(req_id, action, params) + RECORD_SEPARATOR)
        except websockets.ConnectionClosed:
            return  # reported as lost when the connection's handler ends
        self.output.Emit({"event": "sent", "conn": client.number, "reqId": req_id, "action": action})

    def ExampleValues(self, values):
        filled = {"HOME": self.options.home or ""}
        filled.update(values)
        return filled

    async def SendExample(self, action, values, req_id=None):
        """Sends the reference's (first) example of the action with its placeholders filled."""
        try:
            examples = ExamplesFor(action)
        except (OSError, ValueError) as error:
            self.output.Emit({"event": "error", "message": "cannot read the reference: %s" % error})
            return None
        if not examples:
            self.output.Emit({"event": "error", "message": "the reference has no example of %r" % action})
            return None
        # The examples' own session (a drawing open) rather than the refusal shown without one.
        example = next((e for e in examples if e["session"] == "sheets"), examples[0])
        filled = self.ExampleValues(values)
        self.output.Note("example from %s, line %d:\n%s" % (REFERENCE, example["line"], ExampleText(example)))
        req_id = req_id or "example-%d" % next(self.request_numbers)
        self.examples_sent[req_id] = FillPlaceholders(example["result"], filled)
        await self.Exec(req_id, action, FillPlaceholders(example["params"], filled))
        return req_id

    async def SendRaw(self, text):
        client = self.Target()
        if client is None:
            self.output.Emit({"event": "error", "message": "no client connected"})
            return
        try:
            await client.websocket.send(text + RECORD_SEPARATOR)
        except websockets.ConnectionClosed:
            pass

    async def CloseClients(self):
        for client in list(self.clients):
            asyncio.ensure_future(client.websocket.close(1000, "closed by the stand-in"))

    async def RunCommand(self, line):
        """Carries out one line of standard input; returns False when asked to quit."""
        if self.options.json:
            return await self.RunJsonCommand(line)
        words = line.split(None, 1)
        if not words:
            return True
        verb, rest = words[0], (words[1] if len(words) > 1 else "")
        if verb == "exec":
            parts = rest.split(None, 1)
            if not parts:
                self.output.Emit({"event": "error", "message": "usage: exec ACTION [PARAMS...]"})
            else:
                await self.Exec(None, parts[0], parts[1] if len(parts) > 1 else "{}")
        elif verb == "example":
            parts = rest.split()
            if not parts:
                self.output.Emit({"event": "error", "message": "usage: example ACTION [NAME=VALUE...]"})
            else:
                values = dict(p.split("=", 1) for p in parts[1:] if "=" in p)
                await self.SendExample(parts[0], values)
        elif verb == "send":
            await self.SendRaw(rest)
        elif verb == "close":
            await self.CloseClients()
        elif verb == "quit":
            return False
        elif verb == "help":
            self.output.Note(HUMAN_COMMANDS.rstrip())
        else:
            self.output.Emit({"event": "error", "message": "unknown command %r (try help)" % verb})
        return True

    async def RunJsonCommand(self, line):
        if not line.strip():
            return True
        try:
            command = json.loads(line)
        except ValueError as error:
            self.output.Emit({"event": "error", "message": "bad command line: %s" % error})
            return True
        if not isinstance(command, dict):
            self.output.Emit({"event": "error", "message": "a command must be a JSON object"})
            return True
        verb = command.get("cmd")
        if verb == "exec":
            action, params, req_id = command.get("action"), command.get("params", "{}"), command.get("reqId")
            if not isinstance(params, str):
                params = CompactJson(params)
            if not isinstance(action, str) or not action or not isinstance(req_id, (str, type(None))):
                self.output.Emit({"event": "error", "message": "exec needs a string action and reqId"})
            else:
                await self.Exec(req_id, action, params)
        elif verb == "send_raw" and isinstance(command.get("text"), str):
            await self.SendRaw(command["text"])
        elif verb == "close":
            await self.CloseClients()
        elif verb == "quit":
            return False
        else:
            self.output.Emit({"event": "error", "message": "unknown command: %s" % line.strip()})
        return True

    # ---- discovery file ------------------------------------------------------------------------

    def WriteDiscoveryFile(self, home):
        self.discovery_path = os.path.join(home, DISCOVERY_RELATIVE)
        folder = os.path.dirname(self.discovery_path)
        os.makedirs(folder, exist_ok=True)
        self.discovery_text = CompactJson({"schemaVersion": 1, "protocolVersion": PROTOCOL_VERSION,
                                           "port": self.port, "pid": self.pid,
                                           "instanceId": self.instance_id})
        # Written aside and renamed so a client polling the file never reads half of it.
        handle, temporary = tempfile.mkstemp(dir=folder, prefix=".runtime-", suffix=".json")
        with os.fdopen(handle, "w", encoding="utf-8") as stream:
            stream.write(self.discovery_text)
        os.replace(temporary, self.discovery_path)

    def RemoveDiscoveryFile(self):
        if not self.discovery_path:
            return
        # Another service started since may own the file now; only our own text is removed.
        try:
            with open(self.discovery_path, encoding="utf-8") as stream:
                if stream.read() != self.discovery_text:
                    return
            os.remove(self.discovery_path)
        except OSError:
            pass

    # ---- main loop -----------------------------------------------------------------------------

    async def Run(self):
        loop = asyncio.get_running_loop()
        self.stop_event = asyncio.Event()
        for signum in (signal.SIGINT, signal.SIGTERM):
            loop.add_signal_handler(signum, self.stop_event.set)
        ws_ping = self.options.ws_ping_interval or None
        try:
            server = await websockets.serve(
                self.Serve, "127.0.0.1", self.options.port, process_request=self.ProcessRequest,
                max_size=MAX_MESSAGE_BYTES, compression=None, ping_interval=ws_ping,
                ping_timeout=ws_ping, close_timeout=CLOSE_TIMEOUT_SECONDS)
        except OSError as error:
            self.output.Emit({"event": "error", "message": "cannot listen on 127.0.0.1:%d: %s" % (
                self.options.port, error.strerror or error)})
            return 1
        try:
            self.port = server.sockets[0].getsockname()[1]
            if not self.options.no_discovery_file:
                try:
                    self.WriteDiscoveryFile(self.options.home)
                except OSError as error:
                    self.output.Emit({"event": "error", "message": "cannot write the discovery file: %s" % error})
                    return 1
            self.output.Emit({"event": "listening", "port": self.port,
                              "instanceId": self.instance_id, "pid": self.pid})
            self.StartStdinReader(loop)
            await self.stop_event.wait()
        finally:
            self.RemoveDiscoveryFile()
            server.close()
            await server.wait_closed()
        return 0

    def StartStdinReader(self, loop):
        lines = asyncio.Queue()

        def ReadLines():
            # A thread rather than a pipe transport: stdin may be a terminal, a pipe or a file.
            # Raw reads, because a daemon thread blocked inside sys.stdin's buffered reader holds
            # its lock and makes the interpreter abort when a signal ends the program.
            pending = b""
            while True:
                try:
                    chunk = os.read(sys.stdin.fileno(), 65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    break
                *complete, pending = (pending + chunk).split(b"\n")
                for raw in complete:
                    if not Post(raw.decode("utf-8", errors="replace")):
                        return
            if pending:
                Post(pending.decode("utf-8", errors="replace"))
            Post(None)

        def Post(line):
            try:
                loop.call_soon_threadsafe(lines.put_nowait, line)
                return True
            except RuntimeError:
                return False  # the server has already stopped

        threading.Thread(target=ReadLines, daemon=True).start()

        async def Consume():
            while True:
                line = await lines.get()
                if line is None:
                    if not self.options.stay:
                        self.stop_event.set()
                    return
                if not await self.RunCommand(line):
                    self.stop_event.set()
                    return

        asyncio.ensure_future(Consume())


def ParseArguments(argv):
    parser = argparse.ArgumentParser(
        prog=os.path.basename(sys.argv[0]),
        description="Stand-in for the companion's runtime service: health endpoint, discovery "
                    "file and the /cadHub WebSocket hub, driven from standard input. "
                    "Without a subcommand, serve is run with the options given.",
        epilog=EPILOG, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", metavar="{serve}")
    serve = commands.add_parser("serve", help="run the service (the default)", epilog=EPILOG,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    serve.add_argument("--port", type=int, default=DEFAULT_PORT,
                       help="TCP port on 127.0.0.1 (default %(default)s; 0 picks a free one, reported)")
    serve.add_argument("--pid", type=int, help="pid to announce (default: this process's)")
    serve.add_argument("--instance-id", help="instance id to announce (default: a fresh UUID)")
    serve.add_argument("--home", default=os.environ.get("HOME"),
                       help="home folder for the discovery file (default: $HOME)")
    serve.add_argument("--no-discovery-file", action="store_true", help="do not write the discovery file")
    serve.add_argument("--json", action="store_true", help="machine mode: JSON lines in and out")
    serve.add_argument("--stay", action="store_true", help="keep running at the end of standard input")
    serve.add_argument("--ping-interval", type=float, default=15.0,
                       help="seconds between hub pings {\"type\":6} (default %(default)s; 0 = none)")
    serve.add_argument("--ws-ping-interval", type=float, default=20.0,
                       help="seconds between WebSocket ping frames (default %(default)s; 0 = none)")
    serve.add_argument("--verbose", action="store_true", help="also report every plain HTTP request")
    serve.add_argument("--example", metavar="ACTION",
                       help="print the example of ACTION from docs/PROTOCOL.md and exit (with --send: serve "
                            "and send it to the first client whose drawing is ready)")
    serve.add_argument("--send", action="store_true", help="with --example: send the example")
    serve.add_argument("--set", metavar="NAME=VALUE", action="append", default=[],
                       help="with --example --send: the value of the placeholder <NAME> (repeatable)")
    if not argv or argv[0] not in ("serve", "-h", "--help"):
        argv = ["serve"] + list(argv)
    options = parser.parse_args(argv)
    if not 0 <= options.port <= 65535:
        parser.error("--port must be 0 to 65535")
    if options.pid is not None and options.pid < 1:
        parser.error("--pid must be 1 or more")
    if options.instance_id is not None and not options.instance_id:
        parser.error("--instance-id must not be empty")
    if any("=" not in v for v in options.set):
        parser.error("--set takes NAME=VALUE")
    if options.send and not options.example:
        parser.error("--send needs --example ACTION")
    if not options.no_discovery_file and not options.home:
        parser.error("HOME is not set: give --home DIR or --no-discovery-file")
    return options


def PrintExamples(action):
    try:
        examples = ExamplesFor(action)
    except (OSError, ValueError) as error:
        sys.stderr.write("cannot read the reference: %s\n" % error)
        return 1
    if not examples:
        sys.stderr.write("docs/PROTOCOL.md has no example of %r\n" % action)
        return 1
    for example in examples:
        print("# %s (docs/PROTOCOL.md, line %d)" % (example["heading"], example["line"]))
        print(ExampleText(example))
        print()
    print("Placeholders such as <DRAWINGS> stand for your own paths; send the example with\n"
          "  %s --example %s --send --set DRAWINGS=/path/to/folder ...\n"
          "or type \"example %s DRAWINGS=/path/to/folder\" in a running stand-in."
          % (os.path.basename(sys.argv[0]), action, action))
    return 0


def Main(argv):
    options = ParseArguments(argv)
    if options.example and not options.send:
        return PrintExamples(options.example)
    if websockets is None:
        sys.stderr.write("the stand-in needs python3-websockets (tools/setup.sh installs it)\n")
        return 1
    if not options.json:
        sys.stdout.reconfigure(errors="backslashreplace")
    output = Output(options.json, options.verbose)
    return asyncio.run(Standin(options, output).Run())


if __name__ == "__main__":
    sys.exit(Main(sys.argv[1:]))
