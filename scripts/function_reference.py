#!/usr/bin/env python3
"""Renders the function reference of MFB.dll: one HTML page per export and an index, from the
comments and declarations of include/mfb.h, the status table (include/mfb_status.json) and the
export definition (MFB.def). Python's standard library only.

    scripts/function_reference.py OUT_DIR

mfb.h is read as its comment convention says (a test keeps its code lists and the table equal):
a comment applies to the declarations right below it, up to a blank line or another comment; a
section's opening comment (after a "----" heading, not right above a declaration) applies to
every declaration of the section. A page shows the declaration, the arguments, the status codes
with their meanings (0 is success), the notes of the function's and its section's comments, and
the ordinal and the symbol a 32-bit caller's compiler makes. Fails when the header and the table
do not name the same exports.
"""

import html
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

STYLE = """body { font-family: sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em;
       line-height: 1.45; color: #222 }
pre, code { font-family: monospace; background: #f4f4f4 }
pre { padding: 0.6em; overflow-x: auto }
table { border-collapse: collapse } td, th { border: 1px solid #ccc; padding: 0.2em 0.6em;
       text-align: left; vertical-align: top }
.where { color: #555 } nav { margin-bottom: 1em }"""


class Element:
    def __init__(self, kind, text="", name=""):
        self.kind, self.text, self.name = kind, text, name


def comment_text(raw):
    """The words of a /* */ comment, its lines without the comment marks."""
    body = raw.strip()[2:-2]
    lines = [re.sub(r"^\s*\*( |$)", "", line).rstrip() for line in body.split("\n")]
    return "\n".join(lines).strip()


def read_header(text):
    """The header as a sequence of comments, declarations (functions and types), blank lines and
    other lines."""
    lines, elements, i = text.split("\n"), [], 0
    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        if not stripped:
            elements.append(Element("blank"))
        elif stripped.startswith("/*"):
            raw = line
            while "*/" not in raw:
                i += 1
                raw += "\n" + lines[i]
            elements.append(Element("comment", comment_text(raw)))
        elif re.match(r"^(int16_t|void) MFB_(CALL|CDECL) \w+\(", line) or line.startswith("typedef"):
            raw = line
            while ";" not in raw or (raw.startswith("typedef struct") and "}" not in raw):
                i += 1
                raw += "\n" + lines[i]
            name = re.search(r"(\w+)\s*\(", raw) if not raw.startswith("typedef") else None
            if raw.startswith("typedef"):
                name = re.search(r"(\w+)\s*;\s*$", raw) or re.search(r"\*\s*(\w+)\)", raw)
                if "(MFB_CALL*" in raw:
                    name = re.search(r"\*\s*(\w+)\)", raw)
            kind = "type" if raw.startswith("typedef") else "function"
            elements.append(Element(kind, " ".join(raw.split()), name.group(1)))
        else:
            elements.append(Element("other"))
        i += 1
    return elements


def notes_by_name(elements):
    """Each declaration with its section and the comments that apply to it, and the sections
    with their opening comments."""
    declared, sections = {}, []
    lead, attached, after_heading = [], [], False
    for i, e in enumerate(elements):
        next_declares = i + 1 < len(elements) and elements[i + 1].kind in ("function", "type")
        if e.kind == "comment" and "----" in e.text:
            sections.append({"title": e.text.strip("- \n"), "notes": [], "names": []})
            lead, attached, after_heading = sections[-1]["notes"], [], True
        elif e.kind == "comment":
            if after_heading and not next_declares:
                lead.append(e.text)
            else:
                attached = [e.text]
            after_heading = False
        elif e.kind in ("function", "type"):
            section = sections[-1] if sections else {"title": "", "notes": [], "names": []}
            section["names"].append(e.name)
            declared[e.name] = {"kind": e.kind, "declaration": e.text, "notes": list(attached),
                                "section": section}
            after_heading = False
            if not next_declares:
                attached = []
        elif e.kind != "blank" or not after_heading:
            attached = []
    return declared, sections


def read_definition(path):
    """MFB.def: name -> stdcall argument size (None for cdecl)."""
    sizes = {}
    for line in open(path, encoding="utf-8"):
        m = re.match(r"^\s+([A-Za-z_]\w*)(?:@(\d+))?\s+@\d+", line)
        if m:
            sizes[m.group(1)] = int(m.group(2)) if m.group(2) else None
    return sizes


def arguments(declaration):
    params = declaration[declaration.index("(") + 1:declaration.rindex(")")]
    result = []
    for item in filter(None, (p.strip() for p in params.split(","))):
        if item == "void":
            continue
        m = re.match(r"^(.*?[\s*])(\w+)$", item)
        ctype, name = " ".join(m.group(1).split()), m.group(2)
        if ctype.endswith("*") and not ctype.startswith("const"):
            direction = "out: written by the function"
        elif ctype.endswith("*"):
            direction = "in: read by the function"
        else:
            direction = "in"
        result.append((name, ctype, direction))
    return result


class Renderer:
    def __init__(self, header, table, sizes):
        self.declared, self.sections = notes_by_name(read_header(header))
        self.table, self.sizes = table, sizes
        self.exports = {e["name"]: e for e in table["exports"]}
        self.linkable = re.compile(r"\b(" + "|".join(sorted(self.exports, key=len, reverse=True))
                                   + r")\b")

    def check(self):
        functions = {n for n, d in self.declared.items() if d["kind"] == "function"}
        problems = [f"{n} is declared in mfb.h but not in the status table"
                    for n in sorted(functions - set(self.exports))]
        problems += [f"{n} is in the status table but not declared in mfb.h"
                     for n, e in self.exports.items()
                     if n not in functions and e["family"] != "entry"]
        problems += [f"{n} is in the status table but not in MFB.def"
                     for n in self.exports if n not in self.sizes]
        return problems

    def words(self, text):
        """Comment text as HTML: paragraphs, items that start with "- ", and lines indented by
        two spaces kept as they are; export names become links."""
        out, paragraph, items, kept = [], [], [], []

        def flush():
            if paragraph:
                out.append("<p>" + self.link(" ".join(paragraph)) + "</p>")
            if items:
                out.append("<ul>" + "".join(f"<li>{self.link(i)}</li>" for i in items) + "</ul>")
            if kept:
                out.append("<pre>" + self.link("\n".join(kept)) + "</pre>")
            paragraph.clear(), items.clear(), kept.clear()

        for line in text.split("\n"):
            if line.startswith("- "):
                if paragraph or kept:
                    flush()
                items.append(line[2:])
            elif line.startswith("  ") and items:
                items[-1] += " " + line.strip()
            elif line.startswith("  "):
                if paragraph or items:
                    flush()
                kept.append(line)
            elif not line.strip():
                flush()
            else:
                if items or kept:
                    flush()
                paragraph.append(line.strip())
        flush()
        return "\n".join(out)

    def link(self, text):
        return self.linkable.sub(lambda m: f'<a href="{m.group(1)}.html">{m.group(1)}</a>',
                                 html.escape(text))

    def page(self, title, body):
        return (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
                f"<title>{html.escape(title)}</title><style>{STYLE}</style></head><body>\n"
                f'<nav><a href="index.html">MFB.dll function reference</a></nav>\n{body}\n'
                f"</body></html>\n")

    def codes(self, export):
        if "returns" in export:
            return f"<p>Returns {html.escape(export['returns'])}; no status.</p>"
        rows = ["<tr><td>0</td><td>success</td></tr>"]
        rows += [f"<tr><td>{code}</td><td>{self.link(meaning)}</td></tr>"
                 for code, meaning in export["codes"]]
        rule = export.get("driver")
        if rule:
            rows.append(f"<tr><td>any other</td><td>the board driver refused: "
                        f"{html.escape(self.table['driver_rules'][rule])}, of the driver's status "
                        f"s</td></tr>")
        return "<table><tr><th>code</th><th>meaning</th></tr>" + "".join(rows) + "</table>"

    def export_page(self, name):
        export, size = self.exports[name], self.sizes.get(name)
        d = self.declared.get(name)
        convention = "cdecl" if size is None else "stdcall"
        symbol = f"_{name}" if size is None else f"_{name}@{size}"
        where = (f"{html.escape(d['section']['title'] if d else export['family'])} · ordinal "
                 f"{export['ordinal']} · {convention} · symbol of a 32-bit caller: "
                 f"<code>{html.escape(symbol)}</code> (x64: <code>{name}</code>)")
        body = [f"<h1>{name}</h1>", f'<p class="where">{where}</p>']
        if not d:
            body.append("<p>The library's entry, which Windows calls as it loads and unloads the "
                        "DLL; mfb.h does not declare it, and applications do not call it.</p>")
        else:
            body.append(f"<pre>{self.link(d['declaration'])}</pre>")
            args = arguments(d["declaration"])
            if args:
                body.append("<h2>Arguments</h2><table><tr><th>name</th><th>type</th>"
                            "<th>direction</th></tr>" + "".join(
                                f"<tr><td>{n}</td><td><code>{html.escape(t)}</code></td>"
                                f"<td>{w}</td></tr>" for n, t, w in args) + "</table>")
        body.append("<h2>Status</h2>" + self.codes(export))
        notes = (d["notes"] if d else [])
        section_notes = d["section"]["notes"] if d else []
        if notes or section_notes:
            body.append("<h2>Notes</h2>" + "".join(self.words(n) for n in notes))
            if section_notes:
                body.append(f"<h3>All of {html.escape(d['section']['title'])}</h3>"
                            + "".join(self.words(n) for n in section_notes))
        return self.page(name, "\n".join(body))

    def index(self):
        body = ["<h1>MFB.dll function reference</h1>",
                "<p>The exports of MFB.dll as mfb.h declares them, by section. Every "
                "<code>i_MFB_</code> function uses the standard Windows calling convention "
                "(<code>__stdcall</code>; x64 has only one) and returns a signed 16-bit status: 0 on "
                "success, a nonzero code otherwise, whose meaning its page gives "
                "(<code>mfb_status.json</code> holds the same).</p>"]
        for s in self.sections:
            names = [n for n in s["names"] if self.declared[n]["kind"] == "function"]
            types = [n for n in s["names"] if self.declared[n]["kind"] == "type"]
            body.append(f"<h2>{html.escape(s['title'])}</h2>"
                        + "".join(self.words(n) for n in s["notes"]))
            for t in types:
                d = self.declared[t]
                body.append("".join(self.words(n) for n in d["notes"])
                            + f"<pre>{self.link(d['declaration'])}</pre>")
            if names:
                body.append("<ul>" + "".join(f'<li><a href="{n}.html">{n}</a></li>' for n in names)
                            + "</ul>")
        entries = [n for n in self.exports if n not in self.declared]
        if entries:
            body.append("<h2>Not for applications</h2><ul>" + "".join(
                f'<li><a href="{n}.html">{n}</a></li>' for n in entries) + "</ul>")
        return self.page("MFB.dll function reference", "\n".join(body))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.split("\n\n")[1])
    out = sys.argv[1]
    with open(os.path.join(ROOT, "include", "mfb.h"), encoding="utf-8") as f:
        header = f.read()
    with open(os.path.join(ROOT, "include", "mfb_status.json"), encoding="utf-8") as f:
        table = json.load(f)
    renderer = Renderer(header, table, read_definition(os.path.join(ROOT, "MFB.def")))
    problems = renderer.check()
    if problems:
        sys.exit("function_reference.py: " + "; ".join(problems))
    os.makedirs(out, exist_ok=True)
    pages = {"index": renderer.index()}
    pages.update({name: renderer.export_page(name) for name in renderer.exports})
    for name, text in pages.items():
        with open(os.path.join(out, name + ".html"), "w", encoding="utf-8") as f:
            f.write(text)
    print(f"function reference: {len(pages) - 1} exports in {out}")


if __name__ == "__main__":
    main()
