"""Tests the semantic checker on small hand-written HTML against hand-made structure facts."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checker  # noqa: E402
from structure import (Facts, Figure, HeaderCell, Heading, ListItem,  # noqa: E402
                       OutlineEntry)

FACTS = Facts(
    lang="en-GB",
    headings=[Heading(1, "Intro"), Heading(2, "Details")],
    list_items=[ListItem("•", "apples"), ListItem("2.", "pears"), ListItem("", "• plums")],
    header_cells=[HeaderCell("Name", "Column"), HeaderCell("", "Column")],
    figures=[Figure("Figure", "A red house"), Figure("Formula", "x squared")],
    order=["Intro", "First paragraph.", "Details", "Last paragraph."],
)


def Page(body, lang='lang="en-GB"'):
    return f'<!DOCTYPE html><html {lang}><head><title>t</title></head><body>{body}</body></html>'


GOOD = Page("""<main><h1>Intro</h1><p>First paragraph.</p><h2>Details</h2>
<ul><li>apples<li>pears</ul><ol><li>plums</li></ol>
<table><tr><th>Name</th><th></th></tr><tr><td>x</td><td>y</td></tr></table>
<img src="a.png" alt="A red house"><span role="img" aria-label="x squared"></span>
<p>Last paragraph.</p></main>""")


class StructureRecall(unittest.TestCase):
    def Recall(self, html, kind, facts=FACTS):
        return checker.CheckTagged(html, facts)[kind]["recall"]

    def test_correct_page_has_everything(self):
        report = checker.CheckTagged(GOOD, FACTS)
        for kind in ("headings", "heading_texts", "list_items", "header_cells", "alt_texts", "order"):
            self.assertEqual(report[kind]["recall"], 1.0, kind)
        self.assertTrue(report["lang"]["match"])

    def test_each_fault_costs_its_kind(self):
        # Each row: what is wrong in the page, the kind that must drop, and its recall then.
        cases = [
            ("heading one level off", GOOD.replace("<h2>Details</h2>", "<h3>Details</h3>"), "headings", 0.5),
            ("heading as a paragraph", GOOD.replace("<h1>Intro</h1>", "<p>Intro</p>"), "heading_texts", 0.5),
            ("heading text differs", GOOD.replace("<h1>Intro</h1>", "<h1>Intro.</h1>"), "headings", 0.5),
            ("list item outside a list", GOOD.replace("<ol><li>plums</li></ol>", "<div><li>plums</li></div>"),
             "list_items", 2 / 3),
            ("list item as a paragraph", GOOD.replace("<li>apples", "<p>apples</p>"), "list_items", 2 / 3),
            ("header cell as a data cell", GOOD.replace("<th>Name</th>", "<td>Name</td>"), "header_cells", 0.0),
            ("alt text missing", GOOD.replace(' alt="A red house"', ""), "alt_texts", 0.5),
            ("aria-label without role img", GOOD.replace(' role="img"', ""), "alt_texts", 0.5),
            ("figure hidden from readers", GOOD.replace('<img src', '<img aria-hidden="true" src'),
             "alt_texts", 0.5),
            ("paragraphs swapped", GOOD.replace("<p>First paragraph.</p>", "").replace(
                "<p>Last paragraph.</p>", "<p>Last paragraph.</p><p>First paragraph.</p>"), "order", 0.75),
        ]
        for name, html, kind, recall in cases:
            with self.subTest(name):
                self.assertAlmostEqual(self.Recall(html, kind), recall, places=4)

    def test_one_element_answers_one_item(self):
        facts = Facts(headings=[Heading(2, "Notes"), Heading(2, "Notes")])
        self.assertEqual(self.Recall(Page("<h2>Notes</h2>"), "headings", facts), 0.5)
        self.assertEqual(self.Recall(Page("<h2>Notes</h2><h2> Notes\n</h2>"), "headings", facts), 1.0)
        items = Facts(list_items=[ListItem("•", "same"), ListItem("•", "same")])
        self.assertEqual(self.Recall(Page("<ul><li>same</li></ul>"), "list_items", items), 0.5)

    def test_labels_and_marks_on_list_items(self):
        # An item may keep its label in the HTML's text, or leave it to the list's own numbering;
        # a label drawn into the PDF's body (LibreOffice's) is dropped the same way.
        cases = [
            ("label kept", "<ol><li>2. pears</li></ol>", 1.0),
            ("label left out", "<ol><li>pears</li></ol>", 1.0),
            ("other text", "<ol><li>peaches</li></ol>", 0.0),
        ]
        facts = Facts(list_items=[ListItem("2.", "pears")])
        for name, body, recall in cases:
            with self.subTest(name):
                self.assertEqual(self.Recall(Page(body), "list_items", facts), recall)

    def test_language(self):
        cases = [
            ('lang="en-gb"', True),
            ('lang="en"', False),
            ('', False),
        ]
        for attribute, match in cases:
            with self.subTest(attribute):
                self.assertEqual(checker.CheckTagged(Page("", attribute), FACTS)["lang"]["match"], match)
        self.assertIsNone(checker.CheckTagged(Page(""), Facts())["lang"]["match"])

    def test_empty_header_cells_and_kinds_absent_from_the_pdf_are_not_counted(self):
        report = checker.CheckTagged(Page(""), Facts(header_cells=[HeaderCell("")]))
        self.assertEqual(report["header_cells"], {"found": 0, "total": 0, "recall": None})

    def test_engine_like_markup_lines_as_paragraphs(self):
        # Today's engine: every line a <p> in a page's text layer, nothing else.
        html = Page('<div class="pg"><div class="tx"><p>Intro</p><p>apples</p><p>Name</p></div></div>', "")
        report = checker.CheckTagged(html, FACTS)
        self.assertEqual([report[k]["recall"] for k in ("headings", "list_items", "header_cells", "alt_texts")],
                         [0.0, 0.0, 0.0, 0.0])
        self.assertFalse(report["lang"]["match"])


class Bookmarks(unittest.TestCase):
    FACTS = Facts(outline=[
        OutlineEntry("Contents", 1, 0, True),
        OutlineEntry("1 Start", 1, 1, True),
        OutlineEntry("1.1 Detail", 2, 1, True),
        OutlineEntry("Elsewhere", 1, 2, False),   # its title is not on its page: not counted
    ])

    def test_levels_and_texts_apart(self):
        cases = [
            ("depth as level", "<h1>Contents</h1><h1>1 Start</h1><h2>1.1 Detail</h2>", 1.0, 1.0, (1.0, 0)),
            ("all one level deeper", "<h2>Contents</h2><h2>1 Start</h2><h3>1.1 Detail</h3>", 1.0, 0.0, (1.0, 1)),
            ("flat", "<h2>Contents</h2><h2>1 Start</h2><h2>1.1 Detail</h2>", 1.0, 1 / 3, (2 / 3, 1)),
            ("not headings", "<p>Contents</p><p>1 Start</p><p>1.1 Detail</p>", 0.0, 0.0, (0.0, 0)),
            ("as the page sets them", "<h1>CONTENTS</h1><h1>Start</h1><h2>1.1 De- tail</h2>", 1.0, 1.0, (1.0, 0)),
            ("other words", "<h1>Contents</h1><h1>1 Stop</h1><h2>1.1 Details</h2>", 1 / 3, 1 / 3, (1 / 3, 0)),
        ]
        for name, body, text, level, (offset_recall, offset) in cases:
            with self.subTest(name):
                report = checker.CheckBookmarks(Page(body), self.FACTS)
                self.assertEqual(report["on_page"], 3)
                self.assertAlmostEqual(report["text"]["recall"], text, places=4)
                self.assertAlmostEqual(report["level"]["recall"], level, places=4)
                self.assertAlmostEqual(report["level_with_offset"]["recall"], offset_recall, places=4)
                self.assertEqual(report["level_with_offset"]["offset"], offset)


class HtmlReading(unittest.TestCase):
    def test_implied_ends_and_nesting(self):
        page = checker.HtmlFacts(Page("<ul><li>one<li>two<ul><li>inner</ul><li>three</ul>"
                                      "<table><tr><th>a<th>b<tr><td>c</table><p>x<div>y</div>"))
        self.assertEqual(page.list_items, ["one", "two inner", "inner", "three"])
        self.assertEqual(page.header_cells, ["a", "b"])
        self.assertEqual(page.blocks, ["one", "inner", "three", "a", "b", "c", "x"])

    def test_script_and_style_text_is_not_text(self):
        page = checker.HtmlFacts(Page("<h1>Head<style>h1{}</style><script>var a;</script></h1>"))
        self.assertEqual(page.headings, [(1, "Head")])


if __name__ == "__main__":
    unittest.main()
