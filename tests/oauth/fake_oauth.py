#!/usr/bin/env python3
"""A fake OAuth 2.0 authorisation server for the tests, on 127.0.0.1 at a
port the system picks (printed first):

  GET  /authorize   302 back to redirect_uri with a code and the state; the
                    code challenge (S256) is kept with the code
  POST /token       authorization_code (checks the PKCE verifier and the
                    redirect) and refresh_token (rotates the refresh token);
                    modes: invalid_grant, short (expires_in 1)
  POST /introspect  for Dovecot: {"active": true, "username": ...}
  POST /mode        form: mode=normal|invalid_grant|short|refuse_access
  GET  /stats       {"token_requests": n, "refreshes": n}
"""
import base64
import hashlib
import http.server
import json
import secrets
import sys
import urllib.parse

USER = sys.argv[1] if len(sys.argv) > 1 else "ann"
codes = {}      # code -> (challenge, redirect_uri)
access = set()
refresh = set()
state = {"mode": "normal", "token_requests": 0, "refreshes": 0}


def grant():
    # Long enough to need the two-line AUTH: about 2.5 KB.
    token = "at-" + secrets.token_urlsafe(1900)
    access.add(token)
    refreshed = "rt-" + secrets.token_urlsafe(24)
    refresh.add(refreshed)
    expires = 1 if state["mode"] == "short" else 3600
    return {"access_token": token, "token_type": "Bearer", "expires_in": expires, "refresh_token": refreshed}


class Handler(http.server.BaseHTTPRequestHandler):
    def reply(self, status, body, headers=()):
        data = json.dumps(body).encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        return {k: v[0] for k, v in urllib.parse.parse_qs(self.rfile.read(length).decode()).items()}

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/authorize":
            if query.get("code_challenge_method") != "S256" or not query.get("code_challenge"):
                self.reply(400, {"error": "invalid_request"})
                return
            code = secrets.token_urlsafe(16)
            codes[code] = (query["code_challenge"], query["redirect_uri"])
            location = query["redirect_uri"] + "?" + urllib.parse.urlencode({"code": code, "state": query.get("state", "")})
            self.reply(302, {}, [("Location", location)])
        elif url.path == "/stats":
            self.reply(200, {"token_requests": state["token_requests"], "refreshes": state["refreshes"]})
        else:
            self.reply(404, {})

    def do_POST(self):
        form = self.form()
        if self.path == "/mode":
            state["mode"] = form["mode"]
            self.reply(200, {})
        elif self.path == "/introspect":
            active = form.get("token") in access and state["mode"] != "refuse_access"
            self.reply(200, {"active": True, "username": USER} if active else {"active": False})
        elif self.path == "/token":
            state["token_requests"] += 1
            kind = form.get("grant_type")
            if kind == "authorization_code":
                challenge, redirect = codes.pop(form.get("code"), (None, None))
                verifier = form.get("code_verifier", "").encode()
                computed = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
                if challenge is None or computed != challenge or redirect != form.get("redirect_uri"):
                    self.reply(400, {"error": "invalid_grant"})
                    return
                self.reply(200, grant())
            elif kind == "refresh_token":
                state["refreshes"] += 1
                old = form.get("refresh_token")
                if state["mode"] == "invalid_grant" or old not in refresh:
                    self.reply(400, {"error": "invalid_grant"})
                    return
                refresh.discard(old)  # rotated: the old one is void
                self.reply(200, grant())
            else:
                self.reply(400, {"error": "unsupported_grant_type"})
        else:
            self.reply(404, {})

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
