"""The JSON Schemas of docs/schemas/ for the end-to-end tests: the action index, and the check of
an answer against its action's answer schema (Debian's python3-jsonschema)."""
import functools
import json
import os
import pathlib
import warnings

SCHEMAS = pathlib.Path(__file__).resolve().parents[2] / "docs" / "schemas"


@functools.lru_cache(maxsize=None)
def load(name):
    with open(SCHEMAS / name, encoding="utf-8") as f:
        return json.load(f)


def index():
    return load("index.json")


@functools.lru_cache(maxsize=None)
def _validator(name):
    import jsonschema

    # Relative references ("common.json#/$defs/...") resolve among the files of the folder.
    store = {(SCHEMAS / f).as_uri(): load(f) for f in os.listdir(SCHEMAS) if f.endswith(".json")}
    schema = load(name)
    cls = jsonschema.Draft202012Validator
    cls.check_schema(schema)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        resolver = jsonschema.RefResolver((SCHEMAS / name).as_uri(), schema, store=store)
    return cls(schema, resolver=resolver)


def _entry(action):
    return next((a for a in index()["actions"] if a["name"] == action), None)


def problems(action, text, schema_key="answerSchema"):
    """Why a text the action answered (or, with "parametersSchema", a parameter text) is not what
    its schema allows; empty when it is, and for texts that are not JSON (the plain-text answers
    and "Error:" texts, listed in the reference)."""
    entry = _entry(action)
    if not entry or not entry.get(schema_key) or not isinstance(text, str):
        return []
    try:
        value = json.loads(text)
    except ValueError:
        return []
    if not isinstance(value, (dict, list)):
        return []
    return ["%s %s: %s" % (action, schema_key, p) for p in problems_of(value, entry[schema_key])]


def problems_of(value, schema_name):
    """Why a JSON value is not what the named schema allows; empty when it is."""
    return ["%s at /%s" % (error.message, "/".join(map(str, error.absolute_path)))
            for error in _validator(schema_name).iter_errors(value)]


def check_events(events, actions):
    """The schema problems of every answer among a stand-in's events whose request's action is
    known (`actions`: request id -> action)."""
    found = []
    for event in events:
        if event.get("event") == "result" and event.get("reqId") in actions:
            found += ["%s: %s" % (event["reqId"], p) for p in problems(actions[event["reqId"]], event["result"])]
    return found
