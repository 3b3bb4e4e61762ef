"""Starts a test panel by the command line given (mfbctl.exe under Wine, say) and checks with an HTTP
client that it serves its page and its event stream to the holder of its token, and nothing to
anyone else:

    python3 tests/panel/served.py wine build/mingw-dll64/mfbctl.exe panel --sim-boards 2
"""
import http.client
import json
import re
import subprocess
import sys
import threading
from urllib.parse import urlsplit


def main(command):
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    timer = threading.Timer(120, proc.kill)  # Wine's first start in a new prefix takes a while
    timer.start()
    try:
        line = ""
        while "http://" not in line:
            line = proc.stdout.readline()
            assert line, "the panel ended before it printed its address"
        url = urlsplit(re.search(r"http://\S+", line).group(0))
        token = url.query.removeprefix("token=")
        check(url.hostname, url.port, token)
    finally:
        timer.cancel()
        proc.kill()
        proc.wait()
    print("the panel served its page and its stream, and refused what came without its token")


def request(host, port, method, target, headers=None, body=None):
    c = http.client.HTTPConnection(host, port, timeout=30)
    c.request(method, target, body=body, headers=headers or {})
    r = c.getresponse()
    return r, r.read()


def check(host, port, token):
    for method, target in (("GET", "/"), ("GET", "/api/stream"), ("POST", "/api/run")):
        r, _ = request(host, port, method, target, body="list" if method == "POST" else None)
        assert r.status == 403, f"{method} {target} without the token: {r.status}"

    r, _ = request(host, port, "GET", "/?token=" + token)
    assert r.status == 303, r.status
    cookie = {"Cookie": r.getheader("Set-Cookie").split(";")[0]}
    r, page = request(host, port, "GET", "/", cookie)
    assert r.status == 200 and b"MFB test panel" in page and token.encode() in page
    r, chart = request(host, port, "GET", "/uPlot.js", cookie)
    assert r.status == 200 and b"uPlot" in chart

    # The stream: the boards first, then a pass of every value.
    c = http.client.HTTPConnection(host, port, timeout=30)
    c.request("GET", "/api/stream", headers=cookie)
    r = c.getresponse()
    assert r.status == 200 and r.getheader("Content-Type") == "text/event-stream"
    events = {}
    while "frame" not in events:
        event = r.fp.readline().decode().strip().removeprefix("event: ")
        events[event] = json.loads(r.fp.readline().decode().removeprefix("data: "))
        r.fp.readline()
    assert [b["identifier"] for b in events["boards"]["boards"]] == ["MFB-SIM-0", "MFB-SIM-1"]
    assert "count" in events["frame"]["values"]["0/0"], events["frame"]["values"]["0/0"]

    r, answer = request(host, port, "POST", "/api/run?id=x", {"X-MFB-Token": token}, "list")
    ran = json.loads(answer)
    assert r.status == 200 and ran["exit"] == 0 and "MFB-SIM-1" in ran["out"], ran


if __name__ == "__main__":
    main(sys.argv[1:])
