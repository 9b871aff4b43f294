#!/usr/bin/env python3
"""Serves the demo channel directory on 127.0.0.1 with GBK page types.

Usage: serve.py SITE_DIR PORT_FILE [MEDIA_DIR]
Binds a free port, writes it to PORT_FILE, then serves until killed. Requests are logged to
standard error, one line each. MEDIA_DIR (the streams demo/make-media made) is served under
/media/, next to the site, for the demo playlist live.m3u8.

Every channel page /tv/<id>.htm is the same page with another name, so it is rendered from
channel_page.htm and the channel's line in channels.txt (both beside this script) and sent as
GBK, as the real directory's pages are.
"""
import functools
import http.server
import io
import os
import re
import sys
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
CHANNEL_PATH = re.compile(r"^/tv/([A-Za-z0-9]+)\.htm$")
MEDIA_PREFIX = "/media/"


def load_channels():
    channels = {}
    with open(os.path.join(HERE, "channels.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                page, name, category = line.split("|")
                channels[page] = (name, category)
    return channels


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".htm": "text/html; charset=gbk",
        ".html": "text/html; charset=gbk",
        ".asp": "text/html; charset=gbk",
        ".act": "text/html; charset=gbk",
        ".m3u8": "application/vnd.apple.mpegurl",
        ".ts": "video/mp2t",
        ".mp4": "video/mp4",
    }

    def __init__(self, *args, channels, template, media, **kwargs):
        self.channels = channels
        self.template = template
        self.media = media
        super().__init__(*args, **kwargs)

    def translate_path(self, path):
        rest = urllib.parse.urlsplit(path).path
        if self.media and rest.startswith(MEDIA_PREFIX):
            # The base class maps a path into its directory, dot segments and all; so it does
            # into the media folder.
            local = super().translate_path("/" + rest[len(MEDIA_PREFIX):])
            return os.path.join(self.media, os.path.relpath(local, self.directory))
        return super().translate_path(path)

    def send_head(self):
        match = CHANNEL_PATH.match(urllib.parse.urlsplit(self.path).path)
        if not match or match.group(1) not in self.channels:
            return super().send_head()
        name, category = self.channels[match.group(1)]
        page = self.template.replace("{name}", name).replace("{category}", category)
        body = page.encode("gbk")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=gbk")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return io.BytesIO(body)


def main():
    site, port_file = sys.argv[1], sys.argv[2]
    media = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    with open(os.path.join(HERE, "channel_page.htm"), encoding="utf-8") as f:
        template = f.read()
    handler = functools.partial(Handler, directory=site, channels=load_channels(),
                                template=template, media=media)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    with open(port_file, "w") as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
