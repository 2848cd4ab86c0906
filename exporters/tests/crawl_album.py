#!/usr/bin/python3
"""Follows every link and picture of an HTML album from its index page, as a browser
resolves them (the standard library's HTML parser and URL joining), and prints what it
found as JSON:

  {"pages": [{"path", "title", "heading", "scripts", "links": [{"text", "path"}],
              "images": [path, ...]}, ...],
   "broken": [url, ...]}

Paths are relative to the index page's folder. A link is broken when its target does not
exist; a picture when it is not a JPEG file. Titles and headings have their white space
collapsed, as a browser shows them. Each page is decoded as a browser decodes a page
served without a charset: by the charset its first 1024 bytes declare, else as
windows-1252.

  crawl_album.py INDEX_PAGE
"""
import json
import os
import re
import sys
from html.parser import HTMLParser
from urllib.parse import urljoin, urlparse
from urllib.request import pathname2url, url2pathname


class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links, self.images = [], []
        self.title, self.heading, self.scripts = "", "", 0
        self._inside, self._anchor = None, None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "a" and "href" in attrs:
            self._anchor = {"href": attrs["href"], "text": ""}
        elif tag == "img" and "src" in attrs:
            self.images.append(attrs["src"])
        elif tag in ("title", "h1", "h3"):
            self._inside = tag
        elif tag == "script":
            self.scripts += 1

    def handle_endtag(self, tag):
        if tag == "a" and self._anchor is not None:
            self.links.append(self._anchor)
            self._anchor = None
        if tag == self._inside:
            self._inside = None

    def handle_data(self, data):
        if self._inside == "title":
            self.title += data
        elif self._inside in ("h1", "h3"):
            self.heading += data
        if self._anchor is not None:
            self._anchor["text"] += data


def declared_charset(data):
    """The charset a browser's pre-scan finds in a page's first 1024 bytes, else None."""
    head = data[:1024]
    if head.startswith(b"\xef\xbb\xbf"):
        return "utf-8"
    for meta in re.finditer(rb"<meta\b[^>]*>", head, re.IGNORECASE):
        m = re.search(rb"charset\s*=\s*[\"']?\s*([-\w]+)", meta.group(0), re.IGNORECASE)
        if m:
            return m.group(1).decode("ascii").lower()
    return None


def collapse(text):
    return " ".join(text.split())


def main(index):
    root = os.path.dirname(os.path.abspath(index))
    file_of = lambda url: url2pathname(urlparse(url).path)
    relative = lambda path: os.path.relpath(path, root)
    todo = ["file://" + pathname2url(os.path.abspath(index))]
    seen, pages, broken = set(), [], []
    while todo:
        url = todo.pop(0)
        path = file_of(url)
        if path in seen:
            continue
        seen.add(path)
        page = Page()
        with open(path, "rb") as f:
            data = f.read()
        page.feed(data.decode(declared_charset(data) or "windows-1252", errors="replace"))
        page.close()
        links, images = [], []
        for link in page.links:
            target = urljoin(url, link["href"])
            links.append({"text": collapse(link["text"]), "path": relative(file_of(target))})
            if not os.path.isfile(file_of(target)):
                broken.append(target)
            elif file_of(target).endswith((".htm", ".html")):
                todo.append(target)
        for src in page.images:
            target = urljoin(url, src)
            picture = file_of(target)
            images.append(relative(picture))
            if not os.path.isfile(picture):
                broken.append(target)
            else:
                with open(picture, "rb") as f:
                    if f.read(2) != b"\xff\xd8":
                        broken.append(target)
        pages.append({"path": relative(path), "title": collapse(page.title), "heading": collapse(page.heading),
                      "scripts": page.scripts, "links": links, "images": images})
    json.dump({"pages": pages, "broken": broken}, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
