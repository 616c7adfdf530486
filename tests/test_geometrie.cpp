// The pursuit step and the triangle outline of a single cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "pave.h"

namespace {

struct PasAttendu {
    int dx, dy;
    int x, y;
};

// Offsets to the pointer and the step they give, including the effects of
// truncating each component on its own.
const std::vector<PasAttendu> PAS_ATTENDUS = {
    {100, 0, 10, 0},  {3, 4, 6, 8},  {-3, 4, -6, 8},  {1, 100, 0, 9},   {1, 1, 7, 7},
    {-1, -1, -7, -7}, {5, 0, 10, 0}, {10, 0, 10, 0},  {6, 8, 6, 8},     {2, 1, 8, 4},
    {5, 4, 7, 6},     {0, 0, 0, 0},  {0, -1, 0, -10}, {-100, 1, -9, 0},
};

TEST(Pas, SuitLaTableDesDecalages) {
    // The step depends only on the offset, wherever the cell stands.
    for (const vecteur_t origine : {vecteur_t{0, 0}, vecteur_t{1000, -500}, vecteur_t{-7, 1799}}) {
        for (const PasAttendu &t : PAS_ATTENDUS) {
            const vecteur_t pas =
                calcul_nv_coordonnees(origine.x, origine.y, origine.x + t.dx, origine.y + t.dy);
            EXPECT_EQ(pas.x, t.x) << "offset (" << t.dx << ", " << t.dy << ")";
            EXPECT_EQ(pas.y, t.y) << "offset (" << t.dx << ", " << t.dy << ")";
        }
    }
}

TEST(Pas, ResteDansSesBornes) {
    for (int dx = -80; dx <= 80; ++dx) {
        for (int dy = -80; dy <= 80; ++dy) {
            if (dx == 0 && dy == 0) {
                continue;
            }
            const vecteur_t pas = calcul_nv_coordonnees(0, 0, dx, dy);
            const int longueur2 = pas.x * pas.x + pas.y * pas.y;
            ASSERT_LE(longueur2, 100) << dx << ", " << dy;
            ASSERT_GE(longueur2, 80) << dx << ", " << dy;
            // Never away from the pointer on either axis.
            ASSERT_GE(pas.x * dx, 0) << dx << ", " << dy;
            ASSERT_GE(pas.y * dy, 0) << dx << ", " << dy;
            // Closer than ten pixels: one step reaches or passes the pointer.
            if (dx * dx + dy * dy < 100) {
                ASSERT_GE(std::abs(pas.x), std::abs(dx)) << dx << ", " << dy;
                ASSERT_GE(std::abs(pas.y), std::abs(dy)) << dx << ", " << dy;
            }
        }
    }
}

TEST(Pas, SupporteLesCoordonneesExtremes) {
    // Offsets no 32-bit int can hold still give a bounded step.
    const std::vector<std::vector<int>> cas = {
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {INT_MAX, 0, INT_MIN, 0},
        {0, INT_MAX, 0, INT_MIN},
    };
    for (const auto &c : cas) {
        const vecteur_t pas = calcul_nv_coordonnees(c[0], c[1], c[2], c[3]);
        EXPECT_LE(pas.x * pas.x + pas.y * pas.y, 100);
        EXPECT_GE(pas.x * pas.x + pas.y * pas.y, 80);
    }
}

struct TriangleAttendu {
    float theta;
    int x1, y1, x2, y2;
};

constexpr int TAILLE = 200;

TEST(Triangle, SommetsTronquesEtContourFerme) {
    const std::vector<TriangleAttendu> cas = {
        {0.0F, 150, 100, 125, 143},     {0.5235988F, 143, 125, 99, 150},
        {1.5707964F, 99, 149, 56, 124}, {3.1415927F, 50, 99, 75, 56},
        {-1.5707964F, 99, 50, 143, 74},
    };
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceWithFormat(0, TAILLE, TAILLE, 32, SDL_PIXELFORMAT_ARGB8888);
    ASSERT_NE(surface, nullptr) << SDL_GetError();
    SDL_Renderer *r = SDL_CreateSoftwareRenderer(surface);
    ASSERT_NE(r, nullptr) << SDL_GetError();
    const auto pixel = [surface](int x, int y) {
        return static_cast<const Uint32 *>(surface->pixels)[y * surface->pitch / 4 + x];
    };
    for (const TriangleAttendu &t : cas) {
        SCOPED_TRACE(t.theta);
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        trace_triangle(r, 100, 100, 50, t.theta);
        SDL_RenderFlush(r);
        Uint8 c[4];
        SDL_GetRenderDrawColor(r, &c[0], &c[1], &c[2], &c[3]);
        EXPECT_EQ(std::vector<Uint8>(c, c + 4), (std::vector<Uint8>{255, 0, 0, 255}));

        // The outline is exactly red on black, its vertices are lit and its
        // extent is that of the truncated vertices, no more, no less.
        int min_x = TAILLE, max_x = -1, min_y = TAILLE, max_y = -1;
        for (int y = 0; y < TAILLE; ++y) {
            for (int x = 0; x < TAILLE; ++x) {
                const Uint32 p = pixel(x, y);
                ASSERT_TRUE(p == 0xFF000000U || p == 0xFFFF0000U) << x << ", " << y;
                if (p == 0xFFFF0000U) {
                    min_x = std::min(min_x, x);
                    max_x = std::max(max_x, x);
                    min_y = std::min(min_y, y);
                    max_y = std::max(max_y, y);
                }
            }
        }
        for (const auto &[x, y] : {std::pair{100, 100}, {t.x1, t.y1}, {t.x2, t.y2}}) {
            EXPECT_EQ(pixel(x, y), 0xFFFF0000U) << "vertex " << x << ", " << y;
        }
        EXPECT_EQ(min_x, std::min({100, t.x1, t.x2}));
        EXPECT_EQ(max_x, std::max({100, t.x1, t.x2}));
        EXPECT_EQ(min_y, std::min({100, t.y1, t.y2}));
        EXPECT_EQ(max_y, std::max({100, t.y1, t.y2}));
    }
    SDL_DestroyRenderer(r);
    SDL_FreeSurface(surface);
}

}  // namespace
