"""HTTP framing cases against a running service: each case a raw request
and what the service must do with it. Slow headers over many connections
must not keep a normal request from its answer.
Usage: framing_test.py PORT DOCUMENT [TOKEN]; prints ok:/FAIL: lines and
exits 1 on any failure."""
import socket
import sys
import threading
import time
import urllib.request

port = int(sys.argv[1])
document = open(sys.argv[2], "rb").read()
auth = b"Authorization: Bearer %s\r\n" % sys.argv[3].encode() if len(sys.argv) > 3 else b""
failures = 0


def expect(what, got, wanted):
    global failures
    if got == wanted:
        print(f"ok: {what}")
    else:
        print(f"FAIL: {what}: got {got!r}, wanted {wanted!r}")
        failures += 1


def exchange(raw, half_close=False, timeout=60):
    """Sends `raw`, optionally half-closes, and returns the status line's
    code (0 when the connection ended without an answer)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(raw)
        if half_close:
            s.shutdown(socket.SHUT_WR)
        answer = b""
        try:
            while b"\r\n" not in answer:
                chunk = s.recv(4096)
                if not chunk:
                    break
                answer += chunk
        except (ConnectionResetError, socket.timeout):
            pass
    parts = answer.split(b" ", 2)
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0


def post(target, headers):
    return (b"POST %s HTTP/1.1\r\nHost: x\r\n" % target + auth + headers + b"\r\n" + document)


n = str(len(document)).encode()
cases = [
    ("a whole request", post(b"/inbox/a.xml", b"Content-Length: " + n + b"\r\n"), False, 200),
    ("half-closed after a whole request", post(b"/inbox/h.xml", b"Content-Length: " + n + b"\r\n"),
     True, 200),
    ("two Content-Length headers that differ",
     post(b"/d.xml", b"Content-Length: " + n + b"\r\nContent-Length: 5\r\n"), False, 400),
    ("Content-Length with Transfer-Encoding",
     post(b"/t.xml", b"Content-Length: " + n + b"\r\nTransfer-Encoding: chunked\r\n"), False, 400),
    ("POST *", post(b"*", b"Content-Length: " + n + b"\r\n"), False, 400),
]
for what, raw, half_close, wanted in cases:
    expect(what, exchange(raw, half_close), wanted)

# Slow headers: 260 connections each sending a header line a second for
# far longer than the read time limit. Each must be cut at the limit, and
# a normal request made meanwhile answered.
slow_count, slow_seconds = 260, 40
cut = []


def slow_client():
    s = socket.create_connection(("127.0.0.1", port), timeout=120)
    begin = time.monotonic()
    try:
        s.sendall(b"POST /slow.xml HTTP/1.1\r\nHost: x\r\n")
        for i in range(slow_seconds):
            time.sleep(1)
            s.sendall(b"X-Slow-%d: 1\r\n" % i)
        cut.append(None)  # never cut
    except OSError:
        cut.append(time.monotonic() - begin)
    finally:
        s.close()


threads = [threading.Thread(target=slow_client) for _ in range(slow_count)]
for thread in threads:
    thread.start()
time.sleep(2)
begin = time.monotonic()
request = urllib.request.Request(f"http://127.0.0.1:{port}/inbox/n.xml", data=document,
                                 method="POST")
if auth:
    request.add_header("Authorization", "Bearer " + sys.argv[3])
try:
    status = urllib.request.urlopen(request, timeout=60).status
except Exception as error:  # noqa: BLE001 - any failure is the finding
    status = repr(error)
took = time.monotonic() - begin
expect("a normal request among slow headers", status, 200)
expect(f"answered within 15 s ({took:.1f} s)", took < 15, True)
for thread in threads:
    thread.join()
never = sum(1 for c in cut if c is None)
expect("slow headers: every connection cut", never, 0)
longest = max((c for c in cut if c is not None), default=0)
expect(f"slow headers: cut within 12 s (longest {longest:.1f} s)", longest < 12, True)
sys.exit(1 if failures else 0)
