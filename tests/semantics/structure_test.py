"""Tests the structure reader on the tagged samples, against the HTML they were printed from, and on small files built here."""

import os
import sys
import tempfile
import unittest

import pikepdf

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import checker  # noqa: E402
import structure  # noqa: E402

SAMPLES = os.path.join(HERE, "..", "..", "samples", "tagged")


def Sample(name):
    return os.path.join(SAMPLES, name)


_FACTS = {}


def Facts(name):
    if name not in _FACTS:
        _FACTS[name] = structure.ReadFacts(Sample(name))
    return _FACTS[name]


class PrintedPagesAreTheGroundTruth(unittest.TestCase):
    """The samples were made from these pages; what the PDF's tree says must be what the page said."""

    CASES = ["chromium-debref-auth-fr", "chromium-devref-l10n"]

    def test_structure_read_back_equals_the_page(self):
        for name in self.CASES:
            with self.subTest(name), open(Sample(f"sources/{name}.html"), encoding="utf-8") as f:
                page = checker.HtmlFacts(f.read())
                facts = Facts(name + ".pdf")
                self.assertTrue(facts.headings)
                self.assertEqual([(h.level, h.text) for h in facts.headings], page.headings)
                self.assertEqual([structure.Normalise(i.body) for i in facts.list_items], page.list_items)
                self.assertEqual([c.text for c in facts.header_cells], page.header_cells)
                self.assertEqual([f.alt for f in facts.figures], page.alt_texts)
                self.assertEqual(facts.lang, page.lang)

    def test_libreoffice_reads_the_same_page(self):
        with open(Sample("sources/libreoffice-debref-preface.html"), encoding="utf-8") as f:
            page = checker.HtmlFacts(f.read())
        facts = Facts("libreoffice-debref-preface.pdf")
        self.assertEqual([(h.level, h.text) for h in facts.headings], page.headings)
        self.assertEqual([c.text for c in facts.header_cells], page.header_cells)
        self.assertEqual([f.alt for f in facts.figures], page.alt_texts)
        # Writer draws an item's bullet into its text, and a nested list's bullets too; an item
        # ending in a link whose last word is emphasised is read with a space before that word.
        bodies = [checker._WithoutMarker(structure.Normalise(i.body)) for i in facts.list_items]
        self.assertEqual(len(bodies), len(page.list_items))
        same = [a for a, b in zip(bodies, page.list_items) if a == b]
        self.assertEqual(len(same), len(bodies) - 3)


class KnownSamples(unittest.TestCase):
    def test_french_chapter(self):
        facts = Facts("chromium-debref-auth-fr.pdf")
        # From ch04.fr.html: the chapter's head, its sections 4.1 and 4.6 and their four parts.
        self.assertEqual([(h.level, h.text) for h in facts.headings], [
            (1, "Chapitre 4. Authentication and access controls"),
            (2, "4.1. Authentification normale d’UNIX"),
            (2, "4.6. Sécurité de l’authentification"),
            (3, "4.6.1. Mot de passe sûr avec Internet"),
            (3, "4.6.2. Le shell sûr (Secure Shell)"),
            (3, "4.6.3. Mesures de sécurité supplémentaires pour Internet"),
            (3, "4.6.4. sécuriser le mot de passe de l’administrateur")])
        numbered = [(i.label, i.body) for i in facts.list_items if i.numbering == "Decimal"]
        self.assertEqual(len(numbered), 7)
        self.assertEqual(numbered[0][0], "1.")
        self.assertTrue(numbered[0][1].startswith("Move the hard disk to a PC with CD boota"))
        self.assertIn(("", "nom de l’utilisateur pour la connexion ;"),
                      [(i.label, i.body) for i in facts.list_items])
        first = facts.header_cells[0]
        self.assertEqual((first.text, first.scope, first.rowspan, first.colspan),
                         ("Chapitre 4. Authentication and access controls", "Column", 1, 3))
        self.assertEqual([f.alt for f in facts.figures], ["Précédent", "Suivant", "[Avertissement]"]
                         + ["[Note]"] * 5 + ["Précédent", "Suivant", "Sommaire"])
        self.assertEqual(facts.lang, "fr")
        self.assertIn("4.1. Authentification normale d’UNIX", [l.text for l in facts.links])

    def test_text_drawn_twice_is_read_once(self):
        # The manual's heads have a text shadow: Chromium draws each of them twice.
        facts = Facts("chromium-devref-l10n.pdf")
        self.assertEqual(facts.headings[0].text, "8. Internationalization and Translations")
        self.assertEqual([h.level for h in facts.headings], [1, 2, 2, 3, 3, 3, 3, 2, 3, 3, 2])

    def test_libreoffice_role_map_and_bookmarks(self):
        facts = Facts("libreoffice-debref-preface.pdf")
        # Writer's own types ("Text body", "Table Heading") reach P through the role map; the
        # headings are Writer's H1 to H3 as the HTML had them.
        self.assertEqual([(h.level, h.text) for h in facts.headings][:5], [
            (1, "Preface"), (2, "1. Disclaimer"), (2, "2. What is Debian"),
            (2, "3. About this document"), (3, "3.1. Guiding rules")])
        self.assertEqual(len(facts.headings), 12)
        self.assertEqual(len(facts.list_items), 39)
        # Writer puts the bullet into the item's body; there is no Lbl.
        self.assertTrue(facts.list_items[0].body.startswith("• Debian GNU/Linux Installation Guide"))
        self.assertEqual([(c.text, c.scope, c.colspan) for c in facts.header_cells[:3]],
                         [("Preface", "Column", 3), ("", "Column", None), ("Tip", "Column", None)])
        self.assertEqual(facts.figures[:4], [structure.Figure("Figure", a)
                                             for a in ("Prev", "Next", "[Tip]", "[Warning]")])
        self.assertEqual(facts.lang, "en-US")
        self.assertEqual([(e.depth, e.title, e.page, e.on_page) for e in facts.outline[:4]], [
            (1, "Preface", 0, True), (2, "1. Disclaimer", 0, True),
            (2, "2. What is Debian", 0, True), (2, "3. About this document", 1, True)])
        self.assertTrue(all(e.on_page for e in facts.outline))

    def test_latex_heads_and_lists(self):
        facts = Facts("latex-modguide.pdf")
        # modguide.tex's \section, \subsection* and \subsubsection* (its \reasonsection) heads.
        self.assertEqual([(h.level, h.text) for h in facts.headings], [
            (1, "Contents"), (1, "Introduction"), (1, "The system"), (1, "Some examples"),
            (3, "Separate development considered harmful!"), (3, "What’s in a file-name?"),
            (3, "TEX itself"), (3, "Maintaining complexity"), (1, "Some assurances"),
            (1, "Configuration possibilities"), (1, "Modification conditions"),
            (2, "Note to system administrators"), (1, "What do you think?")])
        self.assertEqual([(i.label, i.numbering) for i in facts.list_items[:3]],
                         [("•", "Disc"), ("•", "Disc"), ("1.", "Decimal")])
        self.assertEqual(facts.list_items[1].body, "the name of the file is changed.")
        self.assertEqual(facts.lang, "en-GB")
        self.assertEqual(facts.outline, [])


# ---------------------------------------------------------------------------------------------
# Files built here, for what the samples do not show.

TO_UNICODE = b"""/CIDInit /ProcSet findresource begin 12 dict begin begincmap
1 begincodespacerange <0000> <FFFF> endcodespacerange
2 beginbfchar <0001> <0041> <0002> <00660069> endbfchar
2 beginbfrange <0010> <0012> <0061> <0020> <0021> [<0078> <0079>] endbfrange
endcmap end end"""


def BuildTagged(path, content, tree, role_map=None, lang=None, two_byte=False):
    """A one-page tagged file: content is the page's stream, tree a function that gets the pdf
    and the page and returns the StructTreeRoot's /K."""
    pdf = pikepdf.new()
    if two_byte:
        cid_font = pdf.make_indirect(pikepdf.Dictionary(
            Type=pikepdf.Name.Font, Subtype=pikepdf.Name.CIDFontType2, BaseFont=pikepdf.Name.Test,
            CIDSystemInfo=pikepdf.Dictionary(Registry="Adobe", Ordering="Identity", Supplement=0),
            DW=500))
        font = pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type0,
                                  BaseFont=pikepdf.Name.Test, Encoding=pikepdf.Name("/Identity-H"),
                                  DescendantFonts=[cid_font],
                                  ToUnicode=pdf.make_stream(TO_UNICODE))
    else:
        font = pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1,
                                  BaseFont=pikepdf.Name.Helvetica, FirstChar=32,
                                  Widths=[278] * 95, Encoding=pikepdf.Name.WinAnsiEncoding)
    page = pikepdf.Page(pikepdf.Dictionary(
        Type=pikepdf.Name.Page, MediaBox=[0, 0, 600, 800],
        Resources=pikepdf.Dictionary(Font=pikepdf.Dictionary(F1=font)),
        Contents=pdf.make_stream(content)))
    pdf.pages.append(page)
    page = pdf.pages[0]
    root = pikepdf.Dictionary(Type=pikepdf.Name.StructTreeRoot)
    root.K = tree(pdf, page.obj)
    if role_map:
        root.RoleMap = pikepdf.Dictionary({"/" + k: pikepdf.Name("/" + v) for k, v in role_map.items()})
    pdf.Root.StructTreeRoot = pdf.make_indirect(root)
    if lang:
        pdf.Root.Lang = lang
    pdf.save(path)


def Elem(kind, kids, page=None, **extra):
    element = pikepdf.Dictionary(Type=pikepdf.Name.StructElem, S=pikepdf.Name("/" + kind), K=kids)
    if page is not None:
        element.Pg = page
    for key, value in extra.items():
        element["/" + key] = value
    return element


class BuiltFiles(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.tmp.name, "t.pdf")

    def tearDown(self):
        self.tmp.cleanup()

    def Read(self, *args, **kw):
        BuildTagged(self.path, *args, **kw)
        return structure.ReadFacts(self.path)

    def test_words_lines_and_marks(self):
        # Each row: the page's text operations, and the heading's text they give.
        cases = [
            ("plain string with its spaces", b"(Two words) Tj", "Two words"),
            ("words placed apart, no space drawn", b"(Two) Tj 40 0 Td (words) Tj", "Two words"),
            ("kerned inside a word", b"[(Wo) -30 (rd)] TJ", "Word"),
            ("a wide TJ gap is a space", b"[(Two) -600 (words)] TJ", "Two words"),
            ("a new line", b"(first) Tj 0 -14 Td (line) Tj", "first line"),
            ("drawn twice at the same place", b"(Bold) Tj 0.3 0 Td (Bold) Tj", "Bold"),
            ("an artifact inside the mark", b"(Page) Tj /Artifact BMC ( 7) Tj EMC", "Page"),
            ("ActualText on the mark", b"/Span <</ActualText (fi)>> BDC (X) Tj EMC (ne) Tj", "fine"),
        ]
        for name, text_ops, expected in cases:
            with self.subTest(name):
                content = b"/H1 <</MCID 0>> BDC BT /F1 10 Tf 100 700 Td " + text_ops + b" ET EMC"
                facts = self.Read(content, lambda pdf, page: [Elem("H1", [0], page)])
                self.assertEqual([(h.level, h.text) for h in facts.headings], [(1, expected)])

    def test_two_byte_codes_through_the_to_unicode_map(self):
        # <0002> maps to two characters, <0010>-<0012> count up from a, <0020>-<0021> take an
        # array. Four glyphs of the default width 500 end 20 units on; the next starts at 30.
        content = b"/P <</MCID 0>> BDC BT /F1 10 Tf 100 700 Td <0001000200100012> Tj 30 0 Td <00200021> Tj ET EMC"
        facts = self.Read(content, lambda pdf, page: [Elem("H2", [0], page)], two_byte=True)
        self.assertEqual(facts.headings, [structure.Heading(2, "Afiac xy")])

    def test_role_map_actual_text_alt_and_attributes(self):
        content = (b"/P <</MCID 0>> BDC BT /F1 10 Tf 100 700 Td (Title) Tj ET EMC "
                   b"/P <</MCID 1>> BDC BT /F1 10 Tf 100 680 Td (Cell) Tj ET EMC "
                   b"/P <</MCID 2>> BDC BT /F1 10 Tf 100 660 Td (E=mc2) Tj ET EMC "
                   b"/P <</MCID 3>> BDC BT /F1 10 Tf 100 640 Td (Ignored) Tj ET EMC")

        def Tree(pdf, page):
            cell = Elem("TH", [1], page, A=pikepdf.Dictionary(
                O=pikepdf.Name.Table, Scope=pikepdf.Name.Row, RowSpan=2, Headers=["h1", "h2"]))
            return [Elem("Document", [
                Elem("Heading", [0], page),   # Heading -> Chapter -> H2
                Elem("Loop", [3], page),      # Loop -> Loop2 -> Loop: no standard type
                Elem("Table", [Elem("TR", [cell])]),
                Elem("Formula", [2], page, Alt="E equals m c squared"),
                Elem("Span", [3], page, ActualText="Replaced"),
            ], page, Lang="de")]

        facts = self.Read(content, Tree, role_map={"Heading": "Chapter", "Chapter": "H2",
                                                   "Loop": "Loop2", "Loop2": "Loop", "H2": "P"},
                          lang="en")
        self.assertEqual(facts.headings, [structure.Heading(2, "Title")])
        self.assertEqual(facts.header_cells, [structure.HeaderCell("Cell", "Row", ["h1", "h2"], 2, None)])
        self.assertEqual(facts.figures, [structure.Figure("Formula", "E equals m c squared")])
        self.assertEqual(facts.lang, "en")
        self.assertEqual([(l.type, l.lang) for l in facts.langs], [("Document", "de")])
        self.assertEqual(facts.langs[0].text, "Title Ignored Cell E=mc2 Replaced")
        self.assertEqual(facts.tables, 1)

    def test_generic_heading_takes_its_level_from_the_sections(self):
        content = b"/P <</MCID 0>> BDC BT /F1 10 Tf 100 700 Td (Deep) Tj ET EMC"
        facts = self.Read(content, lambda pdf, page: [Elem("Sect", [Elem("Sect", [Elem("H", [0], page)])])])
        self.assertEqual(facts.headings, [structure.Heading(2, "Deep")])

    def test_untagged_file_has_no_structure(self):
        pdf = pikepdf.new()
        pdf.add_blank_page()
        pdf.save(self.path)
        facts = structure.ReadFacts(self.path)
        self.assertEqual((facts.headings, facts.order, facts.lang, facts.outline), ([], [], None, []))


if __name__ == "__main__":
    unittest.main()
