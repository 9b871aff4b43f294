#!/usr/bin/env python3
"""Serves the demo channel directory on 127.0.0.1 with GBK page types.

Usage: serve.py SITE_DIR PORT_FILE
Binds a free port, writes it to PORT_FILE, then serves until killed. Requests are logged to
standard error, one line each.
"""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".htm": "text/html; charset=gbk",
        ".html": "text/html; charset=gbk",
        ".asp": "text/html; charset=gbk",
        ".act": "text/html; charset=gbk",
    }


def main():
    site, port_file = sys.argv[1], sys.argv[2]
    handler = functools.partial(Handler, directory=site)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    with open(port_file, "w") as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
