"""What mfbctl says about a board beyond the status codes, read from mfb_explain.json, the table
the tool compiles in: the functions a module position carries, why a simulated module refused a
request, what an interrupt record holds, and the names of status bits and information words."""

from typing import Dict, List, Optional, Tuple, Union

from ._library import EXPLAIN_TABLE, driver_status

FUNCTIONS = EXPLAIN_TABLE["functions"]
INFORMATION = [w["name"] for w in EXPLAIN_TABLE["board_information"]]


def function(code: int) -> Optional[dict]:
    """The function of a module configuration word's bits 7-0, or None."""
    return next((f for f in FUNCTIONS if f["code"] == code), None)


def find_function(name: str) -> Optional[dict]:
    """The function a name, its family's command or its Python spelling names ("frequency",
    "freq", "pulse_encoder"), or None."""
    n = name.replace("_", "-")
    return next((f for f in FUNCTIONS if n in (f["name"], f["family"]) and n), None)


def _words(code):
    f = function(code)
    return f["words"] if f else f"function {code}"


def wrong_function(where: str, actual: int, expected: int) -> str:
    """ "board 0 module 0 is a counter, not a timer" """
    return (EXPLAIN_TABLE["wrong_function"].replace("{where}", where)
            .replace("{actual}", _words(actual)).replace("{expected}", _words(expected)))


def refusal(code: int, export: str, status: int) -> str:
    """Why a simulated module of a function refused an export's call; "" where the table says
    nothing."""
    f = function(code)
    if f is None:
        return ""
    driver = driver_status(export, status)
    for r in EXPLAIN_TABLE["refusals"]:
        if r["function"] != f["name"] or r.get("export", export) != export:
            continue
        if ("driver_status" in r and r["driver_status"] == driver) or r.get("code") == status:
            return r["meaning"]
    return ""


def decode_interrupt(code: int, word1: int, word2: int,
                     values: Tuple[int, ...]) -> Tuple[str, Dict[str, Union[int, str]]]:
    """(source, named values) of a record for the function at its module position; ("", {})
    where the table knows no interrupts of the function."""
    f = function(code)
    entry = next((e for e in EXPLAIN_TABLE["interrupts"] if f and e["function"] == f["name"]), None)
    if entry is None:
        return "", {}

    def word(source):
        if source in ("word1", "word2"):
            return word1 if source == "word1" else word2
        i = int(source[5:])
        return values[i] if i < len(values) else 0

    source = entry.get("source", "")
    if "source_from" in entry:
        v = word(entry["source_from"])
        source = next((name for value, name in entry["sources"] if value == v), "unknown")
    fields: Dict[str, Union[int, str]] = {}
    for rule in entry["fields"]:
        v = word(rule["from"])
        if "bit" in rule:
            v = (v >> rule["bit"]) & 1
        fields[rule["name"]] = rule["words"][v] if "words" in rule else v
    return source, fields


def flags(name: str, value: int) -> List[str]:
    """The names of a status byte: the bits set, or the name of its value."""
    for entry in EXPLAIN_TABLE["flags"]:
        if entry["name"] == name:
            if "bits" in entry:
                return [n for bit, n in entry["bits"] if (value >> bit) & 1]
            return [n for v, n in entry["values"] if v == value]
    return []
