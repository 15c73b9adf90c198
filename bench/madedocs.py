"""Makes the benchmark's documents that no package ships as PDF, each with a named Debian tool from files Debian ships."""

import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageFilter

MPL_DATA = "/usr/share/matplotlib/mpl-data/sample_data"
R_DATA = "/usr/lib/R/library/datasets/data"
POLICY = "/usr/share/doc/debian-policy"
TEMPLATES = "/usr/lib/libreoffice/share/template/common/presnt"

# R's own datasets, drawn the ways R's users draw them: markers by the thousand, a filled
# contour, a perspective mesh, bars, and text in base-14 fonts that R does not embed.
R_SCRIPT = r"""
args <- commandArgs(trailingOnly = TRUE)
pdf(args[1], width = 8.5, height = 11, title = "R datasets", useDingbats = FALSE)
par(mfrow = c(2, 2))
plot(Ozone ~ Temp, data = airquality, pch = 19, col = rgb(0, 0, 0.6, 0.5),
     main = "New York air quality, May to September 1973")
ok <- complete.cases(airquality[, c("Ozone", "Temp")])
lines(lowess(airquality$Temp[ok], airquality$Ozone[ok]), col = "red", lwd = 2)
boxplot(count ~ spray, data = InsectSprays, col = "lightgray", main = "Insect counts by spray")
hist(faithful$eruptions, breaks = 30, freq = FALSE, col = "grey85", main = "Old Faithful eruptions")
lines(density(faithful$eruptions), lwd = 2, lty = 2)
barplot(VADeaths, beside = TRUE, legend.text = rownames(VADeaths), main = "Virginia death rates, 1940")
par(mfrow = c(1, 1))
pairs(iris[1:4], pch = 21, bg = c("red", "green3", "blue")[unclass(iris$Species)],
      main = "Edgar Anderson's iris data")
filled.contour(volcano, color.palette = terrain.colors, asp = 1, main = "Maunga Whau volcano")
persp(volcano, theta = 135, phi = 30, col = "green3", scale = FALSE, ltheta = -120, shade = 0.75,
      border = NA, box = FALSE, main = "Maunga Whau, in perspective")
coplot(lat ~ long | depth, data = quakes, pch = 20, cex = 0.5)
dev.off()
"""

# Gnuplot on matplotlib's and R's sample data: many series with their markers, dashes, a
# financial bar chart, histogram boxes and a translucent surface.
GNUPLOT_SCRIPT = r"""
set terminal pdfcairo size 8in,6in font "DejaVu Sans,10" enhanced
set output OUT
set datafile separator ","
set key outside right font ",8"
set title "Bachelor's degrees awarded to women in the USA (per cent)"
set xlabel "Year"
set grid
dash(i) = i % 5 + 1
plot for [i=2:18] DATA."/percent_bachelors_degrees_women_usa.csv" using 1:i with linespoints \
     pointinterval 4 dashtype dash(i) title columnheader(i)
set title "Microsoft, August to September 2003"
set xdata time
set timefmt "%d-%b-%y"
set format x "%d %b"
unset key
plot DATA."/msft.csv" every ::1 using 1:2:4:3:5 with financebars lw 1.5, \
     "" every ::1 using 1:5 with lines lw 1 dt 2
unset xdata
set format x "%g"
set datafile separator whitespace
set title "Michelson's speed of light measurements, 1879 (km/s - 299000)"
set style fill solid 0.5 border -1
set boxwidth 40
bin(x) = 50 * floor(x / 50) + 25
plot RDATA."/morley.tab" every ::1 using (bin($4)):(1.0) smooth frequency with boxes
set title "A translucent surface over its contours"
set xrange [-3:3]
set yrange [-3:3]
set isosamples 60
set pm3d depthorder border lc "black" lw 0.2
set style fill transparent solid 0.6
set contour base
unset colorbox
splot sin(x * y / 2) * exp(-(x * x + y * y) / 8) with pm3d
"""

# Matplotlib's own sample data, as its gallery draws it: a dense line chart, stock prices
# with shaded bands, a terrain image with contours, translucent scatter and hatched bars.
def matplotlib_report(out):
    import matplotlib
    matplotlib.use("pdf")
    import matplotlib.pyplot as plt
    from matplotlib.backends.backend_pdf import PdfPages

    plt.rcParams.update({"font.family": "DejaVu Sans", "pdf.fonttype": 42})
    degrees = np.genfromtxt(os.path.join(MPL_DATA, "percent_bachelors_degrees_women_usa.csv"),
                            delimiter=",", names=True)
    stocks = np.genfromtxt(os.path.join(MPL_DATA, "Stocks.csv"), delimiter=",", names=True,
                           dtype=None, encoding="utf-8", skip_header=1, converters={0: np.datetime64})
    with np.load(os.path.join(MPL_DATA, "topobathy.npz")) as dem:
        elevation = dem["topo"] if "topo" in dem.files else dem[dem.files[0]]
    with PdfPages(out, metadata={"Title": "Matplotlib sample data", "CreationDate": None}) as pdf:
        fig, ax = plt.subplots(figsize=(8.5, 11))
        for name in degrees.dtype.names[1:]:
            ax.plot(degrees["Year"], degrees[name], marker="o", markersize=3, label=name.replace("_", " "))
        ax.set(title="Bachelor's degrees awarded to women in the USA", xlabel="Year", ylabel="per cent")
        ax.legend(fontsize=7, ncol=2)
        ax.grid(alpha=0.3)
        pdf.savefig(fig)
        plt.close(fig)

        fig, axes = plt.subplots(2, 1, figsize=(8.5, 11))
        dates = stocks[stocks.dtype.names[0]]
        for name in stocks.dtype.names[1:9]:
            values = stocks[name]
            keep = ~np.isnan(values)
            axes[0].plot(dates[keep], values[keep], lw=0.8, label=name)
        axes[0].set(title="Monthly closing prices", yscale="log")
        axes[0].legend(fontsize=7)
        index = stocks[stocks.dtype.names[9]]
        keep = ~np.isnan(index)
        axes[1].fill_between(dates[keep], index[keep] * 0.9, index[keep] * 1.1, alpha=0.3)
        axes[1].plot(dates[keep], index[keep], color="k", lw=0.8)
        axes[1].set(title="S&P 500 with a band of ten per cent")
        pdf.savefig(fig)
        plt.close(fig)

        fig, ax = plt.subplots(figsize=(8.5, 8))
        shown = ax.imshow(elevation, cmap="terrain", origin="lower")
        ax.contour(elevation, levels=12, colors="k", linewidths=0.4)
        fig.colorbar(shown, ax=ax, label="metres")
        ax.set_title("Topography and bathymetry (matplotlib sample data)")
        pdf.savefig(fig)
        plt.close(fig)

        fig, axes = plt.subplots(2, 1, figsize=(8.5, 11))
        years = degrees["Year"]
        axes[0].scatter(degrees["Computer_Science"], degrees["Engineering"], s=years - 1960,
                        c=years, alpha=0.5, cmap="viridis", edgecolors="k")
        axes[0].set(xlabel="Computer science", ylabel="Engineering", title="Two fields over the years")
        width = 0.4
        last = degrees[-1]
        names = degrees.dtype.names[1:]
        first = degrees[0]
        pos = np.arange(len(names))
        axes[1].bar(pos - width / 2, [first[n] for n in names], width, hatch="//", label=str(int(first["Year"])))
        axes[1].bar(pos + width / 2, [last[n] for n in names], width, hatch="..", label=str(int(last["Year"])))
        axes[1].set_xticks(pos, [n.replace("_", " ") for n in names], rotation=60, ha="right", fontsize=7)
        axes[1].legend()
        fig.tight_layout()
        pdf.savefig(fig)
        plt.close(fig)


def r_plots(out, work):
    script = os.path.join(work, "plots.R")
    with open(script, "w") as f:
        f.write(R_SCRIPT)
    run(["Rscript", "--vanilla", script, out])


def gnuplot_plots(out, work):
    script = os.path.join(work, "plots.gp")
    with open(script, "w") as f:
        f.write(GNUPLOT_SCRIPT)
    run(["gnuplot", "-e", f'OUT="{out}"; DATA="{MPL_DATA}"; RDATA="{R_DATA}"', script])


def chromium_print(out, work, page):
    profile = tempfile.mkdtemp(prefix="bench-print-", dir=work)
    run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-pdf-header-footer",
         f"--user-data-dir={profile}", f"--print-to-pdf={out}", "file://" + os.path.join(POLICY, page)])


def libreoffice(out, work, sources):
    """Each source exported by LibreOffice, the PDFs joined in order with qpdf."""
    profile = "file://" + tempfile.mkdtemp(prefix="bench-lo-", dir=work)
    folder = os.path.join(work, "lo")
    os.makedirs(folder)
    copies = []
    for i, source in enumerate(sources):
        # Each source under a name of its own: two templates may share a base name.
        copies.append(os.path.join(folder, f"part{i}" + os.path.splitext(source)[1]))
        shutil.copyfile(source, copies[-1])
    # One LibreOffice for all of them: starting it takes longer than an export.
    run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--convert-to", "pdf",
         "--outdir", folder, *copies])
    parts = [os.path.splitext(c)[0] + ".pdf" for c in copies]
    if len(parts) == 1:
        shutil.copyfile(parts[0], out)
    else:
        run(["qpdf", "--empty", "--pages", *parts, "--", out])


def scan_and_read(out, work, pdf, pages):
    """Pages of a real document printed and scanned: grey, a little turned, blurred and noisy,
    unevenly lit, at 200 dpi; tesseract reads them and writes each image under its invisible text."""
    rng = np.random.default_rng(1)
    listing = os.path.join(work, "scans.txt")
    with open(listing, "w") as f:
        for page in pages:
            stem = os.path.join(work, f"scan-{page}")
            run(["pdftoppm", "-r", "200", "-gray", "-f", str(page), "-l", str(page), "-singlefile", "-png",
                 pdf, stem])
            with Image.open(stem + ".png") as im:
                turned = im.convert("L").rotate(0.6 if page % 2 else -0.4, resample=Image.BICUBIC,
                                                fillcolor=255).filter(ImageFilter.GaussianBlur(0.7))
            a = np.asarray(turned, dtype=np.float32)
            light = np.linspace(0, 25, a.shape[1], dtype=np.float32)[None, :]
            a = a * 0.92 + 10 - light + rng.normal(0, 9, a.shape).astype(np.float32)
            Image.fromarray(np.clip(a, 0, 255).astype(np.uint8)).save(stem + "-scan.png", dpi=(200, 200))
            f.write(stem + "-scan.png\n")
    base = os.path.splitext(out)[0]
    run(["tesseract", listing, base, "-l", "eng", "--dpi", "200", "pdf"])


def run(argv):
    subprocess.run(argv, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def slide_templates(names):
    return [os.path.join(TEMPLATES, n + ".otp") for n in names]


# name -> how the document is made (out, work folder)
RECIPES = {
    "r-datasets": r_plots,
    "gnuplot-datasets": gnuplot_plots,
    "matplotlib-datasets": lambda out, work: matplotlib_report(out),
    "browser-policy": lambda out, work: chromium_print(out, work, "policy.html/ch-relationships.html"),
    "browser-copyright-format": lambda out, work: chromium_print(out, work, "copyright-format-1.0.html"),
    "impress-slides": lambda out, work: libreoffice(out, work, slide_templates(
        ["Vivid", "Beehive", "Nature_Illustration", "Pencil"])),
    "writer-docx-math": lambda out, work: libreoffice(
        out, work, ["/usr/share/texmf/doc/fonts/lm-math/test-word-latinmodern_math.docx"]),
    "writer-burmese": lambda out, work: libreoffice(
        out, work, ["/usr/share/doc/fonts-sil-padauk/documentation/Padauk-typesample.odt"]),
    "scan-ocr": lambda out, work: scan_and_read(out, work, "/usr/share/R/doc/manual/R-FAQ.pdf", [3, 4, 5, 6]),
}


def make(name, out):
    """Makes one document into `out`; raises CalledProcessError (with the tool's errors) when its tool fails."""
    work = tempfile.mkdtemp(prefix=f"bench-make-{name}-")
    try:
        RECIPES[name](os.path.abspath(out), work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if not os.path.isfile(out):
        raise RuntimeError(f"{name}: the tool wrote no {out}")


if __name__ == "__main__":
    # madedocs.py NAME OUT.pdf
    make(sys.argv[1], sys.argv[2])
