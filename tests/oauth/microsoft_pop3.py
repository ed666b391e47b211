#!/usr/bin/env python3
"""A POP3 server that signs in as Microsoft's does, on 127.0.0.1 at a port
the system picks (printed first): SASL XOAUTH2 offered only after STLS, the
one-line AUTH refused, a bearer token of the fake authorisation server
accepted (any "at-" token longer than 2000 characters), an empty mailbox.
Every line received goes to LOG.

Usage: microsoft_pop3.py CERT KEY LOG
"""
import base64
import socket
import ssl
import sys

cert, key, log = sys.argv[1:4]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
print(listener.getsockname()[1], flush=True)


def lines(conn):
    buffer = b""
    while True:
        while b"\n" not in buffer:
            chunk = conn.recv(65536)
            if not chunk:
                return
            buffer += chunk
        line, buffer = buffer.split(b"\n", 1)
        line = line.rstrip(b"\r")
        with open(log, "ab") as out:
            out.write(line + b"\n")
        yield line


def serve(conn):
    conn.sendall(b"+OK The Microsoft Exchange POP3 service is ready.\r\n")
    secure = False
    reader = lines(conn)
    for line in reader:
        verb = line.split(b" ")[0].upper()
        if verb == b"CAPA":
            sasl = b"SASL PLAIN XOAUTH2\r\n" if secure else b""
            conn.sendall(b"+OK\r\nTOP\r\nUIDL\r\n" + (b"" if secure else b"STLS\r\n") + b"USER\r\n" + sasl + b".\r\n")
        elif verb == b"STLS" and not secure:
            conn.sendall(b"+OK Begin TLS negotiation\r\n")
            conn = context.wrap_socket(conn, server_side=True)
            secure = True
            reader = lines(conn)
            return serve_secure(conn, reader)
        elif verb == b"QUIT":
            conn.sendall(b"+OK Microsoft Exchange Server POP3 server signing off.\r\n")
            return
        else:
            conn.sendall(b"-ERR Command is not valid in this state.\r\n")


def serve_secure(conn, reader):
    for line in reader:
        words = line.split(b" ")
        verb = words[0].upper()
        if verb == b"CAPA":
            conn.sendall(b"+OK\r\nTOP\r\nUIDL\r\nUSER\r\nSASL PLAIN XOAUTH2\r\n.\r\n")
        elif verb == b"AUTH" and len(words) > 2:
            conn.sendall(b"-ERR Protocol error. Connection is closed. 10\r\n")
            return
        elif verb == b"AUTH" and words[1].upper() == b"XOAUTH2":
            conn.sendall(b"+ \r\n")
            answer = base64.b64decode(next(reader))
            fields = answer.split(b"\x01")
            token = fields[1][len(b"auth=Bearer "):] if len(fields) > 1 else b""
            if fields[0] == b"user=ann" and token.startswith(b"at-") and len(token) > 2000:
                conn.sendall(b"+OK User successfully authenticated.\r\n")
            else:
                conn.sendall(b"-ERR Authentication failure: unknown user name or bad password.\r\n")
        elif verb in (b"STAT",):
            conn.sendall(b"+OK 0 0\r\n")
        elif verb in (b"UIDL", b"LIST"):
            conn.sendall(b"+OK\r\n.\r\n")
        elif verb == b"QUIT":
            conn.sendall(b"+OK Microsoft Exchange Server POP3 server signing off.\r\n")
            return
        else:
            conn.sendall(b"-ERR Command is not valid in this state.\r\n")


while True:
    connection, _ = listener.accept()
    try:
        serve(connection)
    except (OSError, ssl.SSLError, StopIteration):
        pass
    finally:
        connection.close()
