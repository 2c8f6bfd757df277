// kw_ink_compare A.png B.png [TOLERANCE_PX [MAX_SHARE]]
//
// Compares the ink (pixels darker than mid-grey) of two pictures of the same page: prints the
// share of A's ink with no ink of B within TOLERANCE_PX pixels (default 3), and the other way
// round, and exits 0 when both are at most MAX_SHARE (default 0.01), 1 when not, 2 when the
// pictures cannot be read or differ in size.

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::vector<bool> Ink(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    std::vector<bool> ink(static_cast<std::size_t>(grey.width()) * grey.height());
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ink[static_cast<std::size_t>(y) * grey.width() + x] = row[x] < 128;
    }
    return ink;
}

// The ink of `a` that has no ink of `b` within `tolerance` pixels, as a share of `a`'s ink.
double Unmatched(const std::vector<bool>& a, const std::vector<bool>& b, int width, int height,
                 int tolerance, long& inkCount) {
    long ink = 0;
    long unmatched = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!a[static_cast<std::size_t>(y) * width + x])
                continue;
            ++ink;
            bool found = false;
            for (int dy = -tolerance; dy <= tolerance && !found; ++dy) {
                for (int dx = -tolerance; dx <= tolerance && !found; ++dx) {
                    const int xx = x + dx;
                    const int yy = y + dy;
                    found = xx >= 0 && yy >= 0 && xx < width && yy < height &&
                            b[static_cast<std::size_t>(yy) * width + xx];
                }
            }
            unmatched += found ? 0 : 1;
        }
    }
    inkCount = ink;
    return ink == 0 ? 0.0 : static_cast<double>(unmatched) / static_cast<double>(ink);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kw_ink_compare A.png B.png [TOLERANCE_PX [MAX_SHARE]]\n");
        return 2;
    }
    const QImage a(QString::fromLocal8Bit(argv[1]));
    const QImage b(QString::fromLocal8Bit(argv[2]));
    const int tolerance = argc > 3 ? std::atoi(argv[3]) : 3;
    const double maxShare = argc > 4 ? std::atof(argv[4]) : 0.01;
    if (a.isNull() || b.isNull()) {
        std::fprintf(stderr, "kw_ink_compare: cannot read %s\n", a.isNull() ? argv[1] : argv[2]);
        return 2;
    }
    if (a.size() != b.size()) {
        std::fprintf(stderr, "kw_ink_compare: %dx%d against %dx%d pixels\n", a.width(), a.height(),
                     b.width(), b.height());
        return 2;
    }
    const std::vector<bool> inkA = Ink(a);
    const std::vector<bool> inkB = Ink(b);
    long countA = 0;
    long countB = 0;
    const double aNotB = Unmatched(inkA, inkB, a.width(), a.height(), tolerance, countA);
    const double bNotA = Unmatched(inkB, inkA, a.width(), a.height(), tolerance, countB);
    std::printf("ink %ld / %ld pixels; unmatched within %d px: %.4f / %.4f\n", countA, countB,
                tolerance, aNotB, bNotA);
    const bool same = countA > 0 && countB > 0 && aNotB <= maxShare && bNotA <= maxShare;
    return same ? 0 : 1;
}
