"""A POP3 server that misbehaves as a test tells it to, on 127.0.0.1.

Usage: hostile_pop3.py SCRIPT.json LOG PORTFILE

SCRIPT.json: {"messages": [{"uidl": "...", "data": "<base64 source>",
              "size": N (the LIST size; default the real one), "stuff": true}],
              "greet": true, "extra_list": "a line added to LIST",
              "close_at_retr": K (the K-th RETR over all connections
              stops halfway and the connection closes, after
              "pause" seconds)}
Every command received goes to LOG, one line each, as it came. The chosen
port is written to PORTFILE. Serves connections one after another and ends
when its parent closes its standard input. Deletions are logged, not made.
"""
import base64
import json
import os
import socket
import sys
import threading
import time


def stuffed(data):
    lines = data.split(b"\r\n")
    return b"\r\n".join(b"." + line if line.startswith(b".") else line for line in lines)


retrs = [0]


def serve(conn, script, log):
    messages = script.get("messages", [])
    sources = [base64.b64decode(m["data"]) for m in messages]
    if not script.get("greet", True):
        conn.recv(1)  # waits for the other side to give up
        return
    conn.sendall(b"+OK hostile ready\r\n")
    buffer = b""
    while True:
        chunk = conn.recv(65536)
        if not chunk:
            return
        buffer += chunk
        while b"\n" in buffer:
            line, buffer = buffer.split(b"\n", 1)
            line = line.rstrip(b"\r")
            with open(log, "ab") as out:
                out.write(line + b"\n")
            verb = line.split(b" ")[0].upper()
            args = line.split(b" ")[1:]
            if verb == b"CAPA":
                conn.sendall(b"+OK\r\nUSER\r\nUIDL\r\nTOP\r\n.\r\n")
            elif verb in (b"USER", b"PASS", b"NOOP", b"DELE", b"RSET"):
                conn.sendall(b"+OK\r\n")
            elif verb == b"QUIT":
                conn.sendall(b"+OK bye\r\n")
                return
            elif verb == b"STAT":
                conn.sendall(b"+OK %d %d\r\n" % (len(sources), sum(map(len, sources))))
            elif verb in (b"LIST", b"UIDL"):
                out = b"+OK\r\n"
                for i, m in enumerate(messages):
                    value = m["uidl"].encode() if verb == b"UIDL" else b"%d" % m.get("size", len(sources[i]))
                    out += b"%d %s\r\n" % (i + 1, value)
                if verb == b"LIST" and script.get("extra_list"):
                    out += script["extra_list"].encode() + b"\r\n"
                conn.sendall(out + b".\r\n")
            elif verb in (b"RETR", b"TOP") and args and args[0].isdigit() and 0 < int(args[0]) <= len(sources):
                number = int(args[0])
                data = sources[number - 1]
                if verb == b"TOP":
                    head, _, body = data.partition(b"\r\n\r\n")
                    lines = int(args[1]) if len(args) > 1 and args[1].isdigit() else 0
                    data = head + b"\r\n\r\n" + b"".join(l + b"\r\n" for l in body.split(b"\r\n")[:lines])
                body = stuffed(data) if messages[number - 1].get("stuff", True) else data
                retrs[0] += verb == b"RETR"
                if verb == b"RETR" and script.get("close_at_retr") == retrs[0]:
                    conn.sendall(b"+OK\r\n" + body[: len(body) // 2])
                    time.sleep(script.get("pause", 0))
                    return
                conn.sendall(b"+OK\r\n" + body + (b"" if body.endswith(b"\r\n") else b"\r\n") + b".\r\n")
            else:
                conn.sendall(b"-ERR no\r\n")


def main():
    script = json.load(open(sys.argv[1]))
    log = sys.argv[2]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(sys.argv[3], "w") as out:
        out.write(str(listener.getsockname()[1]))
    # Ends with the test: its standard input closes.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    for _ in range(200):
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        conn.settimeout(120)
        try:
            serve(conn, script, log)
        except OSError:
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
