// Writes the HTML of a converted document: a drawing per page with a transparent text layer over it.
#include "html/Document.h"

#include "base/Geometry.h"
#include "base/Numbers.h"
#include "base/Text.h"
#include "html/Percent.h"
#include "html/TextLayer.h"

namespace Engine {

namespace {

// The text layer is invisible and sits over the drawing, which already shows the glyphs.
// Sizes are in percent of the page box and container units, so a page shrinks with a narrow window.
constexpr const char* StyleSheet =
    "html{background:#808080}"
    "body{margin:0;padding:8px 0;font-family:sans-serif}"
    "nav{background:#fff;max-width:50em;margin:0 auto 8px;padding:4px 16px}"
    "nav ul{padding-left:1.2em}"
    ".pg{position:relative;margin:0 auto 8px;max-width:100%;background:#fff;overflow:hidden;"
    "container-type:inline-size;box-shadow:0 1px 4px rgba(0,0,0,.4)}"
    // A deferred page is laid out and painted only near the window, its size coming from its width
    // and proportions alone.
    ".pg.d{content-visibility:auto}"
    ".pg>img{position:absolute;left:0;top:0;width:100%;height:100%;user-select:none}"
    // A small drawing drawn in the page, and glyphs in the document's fonts over the drawing; the
    // text layer above is what is selected.
    ".dr,.gl{position:absolute;left:0;top:0;width:100%;height:100%;user-select:none;pointer-events:none}"
    ".gl text{font-family:qg0;font-size:100px;white-space:pre;font-kerning:none;text-rendering:geometricPrecision}"
    // The text font maps every code point, so a shaper would join Arabic letters into the
    // ligatures it finds there and a word would lose its width; the layer wants none.
    ".tx{position:absolute;left:0;top:0;width:100%;height:100%;color:transparent;white-space:pre;line-height:1;"
    "font-family:qm,sans-serif;font-feature-settings:\"rlig\" 0,\"liga\" 0}"
    // The elements of the text's structure place nothing: their lines are placed on the page.
    ".tx *{margin:0;padding:0;font:inherit;list-style:none;border-spacing:0}"
    ".tx span{position:absolute;left:0;width:100%}"
    ".tx span.v{top:0;height:100%;width:auto;writing-mode:vertical-rl}"
    ".tx span.r{direction:rtl}"
    // A piece's margin comes before it in the line's direction; pieces placed one by one have none.
    ".tx i{font-style:normal;unicode-bidi:isolate;direction:ltr;margin-left:var(--m);letter-spacing:var(--l)}"
    ".tx span.r>i{margin:0 var(--m) 0 0}"
    ".tx span.a>i,.tx span.v>i{position:absolute;transform-origin:0 0}"
    // Without left a word of a vertical line would stand left of its line, where the block starts.
    ".tx span.v>i{left:0}"
    ".tx .f{position:absolute}"
    ".tx ::selection{background:rgba(0,100,255,.3);color:transparent}"
    ".pg>a{position:absolute;display:block}";

std::string Meta(const char* Name, const std::string& Value) {
  if (Value.empty()) return {};
  return std::string("<meta name=\"") + Name + "\" content=\"" + EscapeHtml(Value) + "\">\n";
}

void AppendOutline(std::string& Out, const std::vector<OutlineItem>& Items) {
  Out += "<ul>";
  for (const OutlineItem& Item : Items) {
    Out += "<li>";
    const std::string Title = EscapeHtml(Item.Title);
    if (Item.Page > 0) {
      Out += "<a href=\"#page-" + std::to_string(Item.Page) + "\">" + Title + "</a>";
    } else if (!Item.Uri.empty()) {
      Out += "<a href=\"" + EscapeHtml(Item.Uri) + "\" rel=\"noopener noreferrer\">" + Title + "</a>";
    } else {
      Out += Title;
    }
    if (!Item.Children.empty()) AppendOutline(Out, Item.Children);
    Out += "</li>";
  }
  Out += "</ul>";
}

// What a link is called to someone who cannot see the page: the words under its box, else where
// it leads.
std::string LinkName(const PageLink& Link, const PageText& Text) {
  std::string Name;
  const Box Area = Normalized(Link.Area);
  for (const Line& Each : Text.Lines) {
    for (const Word& Item : Each.Words) {
      const double X = (Item.Area.X1 + Item.Area.X2) / 2, Y = (Item.Area.Y1 + Item.Area.Y2) / 2;
      if (X < Area.X1 || X > Area.X2 || Y < Area.Y1 || Y > Area.Y2 || Name.size() > 200) continue;
      Name += (Name.empty() ? "" : " ") + Item.Text;
    }
  }
  if (!Name.empty()) return Name;
  return Link.Page > 0 ? "Page " + std::to_string(Link.Page) : Link.Uri;
}

}  // namespace

std::string DocumentHead(const DocumentInfo& Info, const std::vector<OutlineItem>& Outline) {
  std::string Out = "<!DOCTYPE html>\n<html" + (Info.Language.empty() ? std::string() : " lang=\"" + EscapeHtml(Info.Language) + "\"") +
                    ">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'none'; "
      "object-src 'none'; base-uri 'none'; form-action 'none'; img-src 'self' data: file:; font-src data:; "
      "style-src 'unsafe-inline'\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  Out += "<title>" + EscapeHtml(Info.Title) + "</title>\n";
  Out += Meta("author", Info.Author);
  Out += Meta("description", Info.Subject);
  Out += Meta("keywords", Info.Keywords);
  Out += "<style>" + TextLayerFontFace() + StyleSheet + "</style>\n</head>\n<body>\n";
  if (!Outline.empty()) {
    Out += "<nav aria-label=\"Outline\">";
    AppendOutline(Out, Outline);
    Out += "</nav>\n";
  }
  return Out + "<main>\n";
}

std::string PageMarkup(const PageView& Page) {
  const double Width = Page.Size.Width, Height = Page.Size.Height;
  std::string Out = std::string("<section class=\"") + (Page.Deferred ? "pg d" : "pg") + "\" id=\"page-" +
                    std::to_string(Page.Number) + "\" aria-label=\"Page " + std::to_string(Page.Number) +
                    "\" style=\"width:" + FormatNumber(Width * CssPixelsPerPoint, 2) + "px;aspect-ratio:" +
                    FormatNumber(Width, 3) + "/" + FormatNumber(Height, 3) + "\">\n";
  if (Page.DrawingInPage) {
    Out += Page.Drawing;
  } else {
    Out += "<img src=\"" + EscapeHtml(Page.Background) + "\" alt=\"\"" + (Page.Deferred ? " loading=\"lazy\"" : "") +
           " width=\"" + FormatNumber(Width * CssPixelsPerPoint, 0) + "\" height=\"" +
           FormatNumber(Height * CssPixelsPerPoint, 0) + "\">\n";
  }
  Out += Page.GlyphLayer;
  Out += TextLayerMarkup(Page.Text, Page.Size, Page.Number, Page.Language);
  for (const PageLink& Link : Page.Text.Links) {
    std::string Target;
    if (Link.Page > 0) Target = "#page-" + std::to_string(Link.Page);
    else if (!Link.Uri.empty()) Target = Link.Uri;
    else continue;
    Out += "<a href=\"" + EscapeHtml(Target) + "\" aria-label=\"" + EscapeHtml(LinkName(Link, Page.Text)) + "\"";
    if (Link.Page == 0) Out += " rel=\"noopener noreferrer\"";
    Out += " style=\"left:" + Percent(Link.Area.X1, Width) + ";top:" + Percent(Link.Area.Y1, Height) +
           ";width:" + Percent(Link.Area.X2 - Link.Area.X1, Width) +
           ";height:" + Percent(Link.Area.Y2 - Link.Area.Y1, Height) + "\"></a>\n";
  }
  if (!Page.Incomplete.empty()) {
    // Styled here, not in the style sheet, so that complete documents keep their bytes.
    Out += "<p role=\"note\" style=\"position:absolute;left:0;bottom:0;margin:0;padding:2px 6px;background:#fff3c4;"
           "color:#000;font:12px sans-serif\">" + EscapeHtml(Page.Incomplete) + "</p>\n";
  }
  Out += "</section>\n";
  return Out;
}

std::string DocumentNote(const std::string& Text) {
  return "<p role=\"note\" style=\"margin:8px auto;padding:2px 6px;width:max-content;max-width:90%;background:#fff3c4;"
         "color:#000;font:12px sans-serif\">" + EscapeHtml(Text) + "</p>\n";
}

std::string DocumentTail(const std::string& FontStyle) {
  // The fonts are known once every page is drawn; a style element at the end still applies to all.
  std::string Out = "</main>\n";
  if (!FontStyle.empty()) Out += "<style>" + FontStyle + "</style>\n";
  return Out + "</body>\n</html>\n";
}

}  // namespace Engine
