// Writes the launcher's icon, as SVG, from the table the window's icon is
// drawn from, at twice its size: the two are one picture.
// Usage: vorna_icone FILE
#include "icone.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int E = 2;  // the SVG's units to the icon's pixels

// A coordinate as short as it reads: one decimal, none when whole.
std::string nombre(double v) {
    char texte[32];
    std::snprintf(texte, sizeof texte, "%.1f", v);
    std::string t = texte;
    return t.size() > 2 && t.compare(t.size() - 2, 2, ".0") == 0 ? t.substr(0, t.size() - 2) : t;
}

}  // namespace

int main(int argc, char *argv[]) {
    FILE *f = argc == 2 ? std::fopen(argv[1], "w") : nullptr;
    if (f == nullptr) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 1;
    }
    const int cote = ICONE * E;
    std::fprintf(f,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<!-- The program's icon: a cell, a red triangle outline, with its trail on "
                 "black. -->\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                 "viewBox=\"0 0 %d %d\">\n"
                 "  <rect width=\"%d\" height=\"%d\" rx=\"%d\" fill=\"#000000\"/>\n"
                 "  <g fill=\"none\" stroke=\"#ff0000\" stroke-linejoin=\"miter\">\n",
                 cote, cote, cote, cote, cote, cote, ICONE_RAYON * E);
    for (size_t i = 0; i < ICONE_TRACES.size(); ++i) {
        const trace_icone_t &t = ICONE_TRACES[i];
        // What the veils laid after it leave of it.
        double reste = 1.0;
        for (size_t j = i + 1; j < ICONE_TRACES.size(); ++j) {
            reste *= 1.0 - ICONE_TRACES[j].voile / 255.0;
        }
        // The outline as the cells' routine walks it, from the vertex.
        const double a = ICONE_THETA;
        const double b = a + 2.0943951023931953;
        const double x = t.x * E, y = t.y * E, w = t.cote * E;
        const double x1 = x + w * std::cos(a), y1 = y + w * std::sin(a);
        const double x2 = x1 + w * std::cos(b), y2 = y1 + w * std::sin(b);
        std::string opacite;
        if (reste < 1.0) {
            char texte[32];
            std::snprintf(texte, sizeof texte, " opacity=\"%.2g\"", reste);
            opacite = texte;
        }
        // A one-pixel outline, smoothed at the icon's size, reads a pixel
        // and a half wide.
        std::fprintf(f, "    <polygon points=\"%s,%s %s,%s %s,%s\" stroke-width=\"%s\"%s/>\n",
                     nombre(x1).c_str(), nombre(y1).c_str(), nombre(x).c_str(), nombre(y).c_str(),
                     nombre(x2).c_str(), nombre(y2).c_str(),
                     nombre((t.epais ? 3.0 : 1.5) * E).c_str(), opacite.c_str());
    }
    std::fprintf(f, "  </g>\n</svg>\n");
    return std::fclose(f) == 0 ? 0 : 1;
}
