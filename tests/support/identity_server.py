#!/usr/bin/env python3
"""A small OAuth2 identity server for the sign-in tests, on 127.0.0.1 only.

Authorization endpoint (code flow with PKCE, S256 only), token endpoint
(authorization_code and refresh_token grants), token introspection (RFC 7662,
what Dovecot's oauth2 passdb asks with introspection_mode = post), and a few
control endpoints a test uses to expire, rotate or revoke what it handed
out.

With --rotate it takes each refresh token once, as strict providers do:
a refresh answers with a new refresh token and the one presented is dead,
so a second refresh with it is refused with invalid_grant. --refresh-delay
holds each refresh request that long first, as a slow provider would, so
that refreshes from two processes overlap.

Prints "PORT <n>" on its first line once it listens, then serves until
killed. Every request line is logged to stderr.
"""
import argparse
import base64
import hashlib
import http.server
import json
import secrets
import sys
import threading
import time
import urllib.parse


class State:
    def __init__(self, user, client_id, client_secret, expires_in, rotate=False, refresh_delay=0.0):
        self.user = user
        self.rotate = rotate
        self.refresh_delay = refresh_delay
        self.client_id = client_id
        self.client_secret = client_secret
        self.expires_in = expires_in
        self.codes = {}       # code -> (challenge, redirect_uri)
        self.access = {}      # token -> expiry time
        self.refresh = set()  # live refresh tokens
        self.counts = {"authorize": 0, "code_grants": 0, "refresh_grants": 0,
                       "introspections": 0, "refused": 0}
        self.lock = threading.Lock()

    def new_access(self):
        token = "at-" + secrets.token_urlsafe(24)
        self.access[token] = time.time() + self.expires_in
        return token


def s256(verifier):
    digest = hashlib.sha256(verifier.encode()).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode()


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "TestIdentity/1"

    def log_message(self, fmt, *args):
        sys.stderr.write("identity: " + (fmt % args) + "\n")

    def reply(self, status, body, headers=None):
        data = json.dumps(body).encode() if body is not None else b""
        self.send_response(status)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        if body is not None:
            self.send_header("Content-Type", "application/json")
            self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def form(self):
        n = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(n).decode()
        return {k: v[0] for k, v in urllib.parse.parse_qs(raw, keep_blank_values=True).items()}

    def client_ok(self, form):
        st = self.server.state
        client_id, secret = form.get("client_id", ""), form.get("client_secret", "")
        auth = self.headers.get("Authorization", "")
        if auth.startswith("Basic "):
            pair = base64.b64decode(auth[6:]).decode()
            client_id, _, secret = pair.partition(":")
            client_id = urllib.parse.unquote_plus(client_id)
            secret = urllib.parse.unquote_plus(secret)
        if client_id != st.client_id:
            return False
        return not st.client_secret or secret == st.client_secret

    def do_GET(self):
        st = self.server.state
        url = urllib.parse.urlsplit(self.path)
        q = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/authorize":
            with st.lock:
                st.counts["authorize"] += 1
            redirect = q.get("redirect_uri", "")
            if (q.get("response_type") != "code" or q.get("client_id") != st.client_id
                    or q.get("code_challenge_method") != "S256" or not q.get("code_challenge")
                    or not redirect.startswith("http://127.0.0.1:")):
                return self.reply(400, {"error": "invalid_request"})
            code = "code-" + secrets.token_urlsafe(16)
            with st.lock:
                st.codes[code] = (q["code_challenge"], redirect)
            params = {"code": code}
            if "state" in q:
                params["state"] = q["state"]
            sep = "&" if "?" in redirect else "?"
            return self.reply(302, None, {"Location": redirect + sep + urllib.parse.urlencode(params)})
        if url.path == "/control/stats":
            with st.lock:
                return self.reply(200, dict(st.counts))
        self.reply(404, {"error": "not_found"})

    def do_POST(self):
        st = self.server.state
        path = urllib.parse.urlsplit(self.path).path
        form = self.form()
        if path == "/token":
            if not self.client_ok(form):
                with st.lock:
                    st.counts["refused"] += 1
                return self.reply(401, {"error": "invalid_client"})
            grant = form.get("grant_type")
            if grant == "refresh_token" and st.refresh_delay:
                time.sleep(st.refresh_delay)
            with st.lock:
                if grant == "authorization_code":
                    entry = st.codes.pop(form.get("code", ""), None)
                    if (not entry or entry[1] != form.get("redirect_uri")
                            or s256(form.get("code_verifier", "")) != entry[0]):
                        st.counts["refused"] += 1
                        return self.reply(400, {"error": "invalid_grant"})
                    st.counts["code_grants"] += 1
                    refresh = "rt-" + secrets.token_urlsafe(24)
                    st.refresh.add(refresh)
                    return self.reply(200, {"access_token": st.new_access(), "token_type": "Bearer",
                                            "expires_in": st.expires_in, "refresh_token": refresh})
                if grant == "refresh_token":
                    if form.get("refresh_token") not in st.refresh:
                        st.counts["refused"] += 1
                        return self.reply(400, {"error": "invalid_grant",
                                                "error_description": "Token has been expired or revoked."})
                    st.counts["refresh_grants"] += 1
                    body = {"access_token": st.new_access(), "token_type": "Bearer", "expires_in": st.expires_in}
                    if st.rotate:
                        st.refresh.discard(form["refresh_token"])
                        body["refresh_token"] = "rt-" + secrets.token_urlsafe(24)
                        st.refresh.add(body["refresh_token"])
                    return self.reply(200, body)
            return self.reply(400, {"error": "unsupported_grant_type"})
        if path == "/introspect":
            with st.lock:
                st.counts["introspections"] += 1
                expiry = st.access.get(form.get("token", ""))
                active = expiry is not None and expiry > time.time()
            body = {"active": active}
            if active:
                body.update({"username": st.user, "exp": int(expiry), "scope": "mail"})
            return self.reply(200, body)
        if path == "/control/expire":
            with st.lock:
                for token in st.access:
                    st.access[token] = 0
            return self.reply(200, {})
        if path == "/control/rotate":
            with st.lock:
                rotated = ["rt-" + secrets.token_urlsafe(24) for _ in st.refresh]
                st.refresh = set(rotated)
            return self.reply(200, {"refresh_tokens": rotated})
        if path == "/control/revoke":
            with st.lock:
                st.refresh.clear()
                st.access.clear()
            return self.reply(200, {})
        self.reply(404, {"error": "not_found"})


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--user", default="joe")
    ap.add_argument("--client-id", default="tolmu-test")
    ap.add_argument("--client-secret", default="")
    ap.add_argument("--expires-in", type=int, default=3600)
    ap.add_argument("--rotate", action="store_true")
    ap.add_argument("--refresh-delay", type=float, default=0.0)
    args = ap.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.state = State(args.user, args.client_id, args.client_secret, args.expires_in,
                         args.rotate, args.refresh_delay)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
