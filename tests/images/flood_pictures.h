#pragma once

// Pictures that flood fills are tried on: flat colours with noise, checkerboards, a spiral
// corridor and a random maze, all with corridors and walls one pixel wide where they have any.
// Shared by the tests and the benchmark.

#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/raster.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace flood_pictures {

using Rgb = std::array<uint8_t, 3>;
using qm::images::CreateWhiteCanvas;

inline void SetTop(CxImage& image, long x, long y, Rgb c) {
    uint8_t* p = image.TopRow(y) + x * 3;
    p[0] = c[0];
    p[1] = c[1];
    p[2] = c[2];
}

// A few flat colours in random rectangles, with noise of up to ±noise on each channel.
inline CxImage FewColours(std::mt19937& random, long width, long height, int noise) {
    CxImage image;
    CreateWhiteCanvas(image, width, height);
    std::vector<Rgb> palette{{20, 40, 200}, {200, 40, 20}, {30, 200, 30}, {240, 240, 240}};
    std::uniform_int_distribution<int> pick(0, 3), n(-noise, noise);
    for (int r = 0; r < 12; ++r) {
        long x0 = random() % width, y0 = random() % height;
        long x1 = x0 + random() % width, y1 = y0 + random() % height;
        Rgb c = palette[size_t(pick(random))];
        for (long y = y0; y < std::min(y1, height); ++y) {
            for (long x = x0; x < std::min(x1, width); ++x) {
                SetTop(image, x, y, c);
            }
        }
    }
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            uint8_t* p = image.TopRow(y) + x * 3;
            for (int c = 0; c < 3; ++c) {
                p[c] = uint8_t(std::clamp(p[c] + n(random), 0, 255));
            }
        }
    }
    return image;
}

inline CxImage Checkerboard(long width, long height, long cell) {
    CxImage image;
    CreateWhiteCanvas(image, width, height);
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            if ((x / cell + y / cell) % 2) {
                SetTop(image, x, y, Rgb{0, 0, 0});
            }
        }
    }
    return image;
}

// A corridor one pixel wide that spirals inward from (1, 1) between walls one pixel thick;
// `corridor` receives the number of its pixels.
inline CxImage Spiral(long width, long height, Rgb wall, Rgb path, long* corridor = nullptr) {
    CxImage image;
    CreateWhiteCanvas(image, width, height);
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            SetTop(image, x, y, wall);
        }
    }
    long count = 0;
    auto paint = [&](long x, long y) {
        SetTop(image, x, y, path);
        ++count;
    };
    // A turtle walks right, down, left and up, each leg stopping two pixels short of the
    // previous ring, until a leg has no length left.
    long x = 1, y = 1, left = 1, top = 1, right = width - 2, bottom = height - 2;
    if (right >= left && bottom >= top) {
        paint(x, y);
    }
    while (true) {
        if (x >= right)
            break;
        while (x < right)
            paint(++x, y);
        top += 2;
        if (y >= bottom)
            break;
        while (y < bottom)
            paint(x, ++y);
        right -= 2;
        if (x <= left)
            break;
        while (x > left)
            paint(--x, y);
        bottom -= 2;
        if (y <= top)
            break;
        while (y > top)
            paint(x, --y);
        left += 2;
    }
    if (corridor) {
        *corridor = count;
    }
    return image;
}

// Random corridors one pixel wide: a maze carved on the odd cells.
inline CxImage Maze(std::mt19937& random, long width, long height) {
    CxImage image;
    CreateWhiteCanvas(image, width, height);
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            SetTop(image, x, y, Rgb{0, 0, 0});
        }
    }
    std::vector<std::pair<long, long>> stack{{1, 1}};
    SetTop(image, 1, 1, Rgb{255, 255, 255});
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        std::vector<std::pair<long, long>> next;
        for (auto [dx, dy] : {std::pair{2, 0}, {-2, 0}, {0, 2}, {0, -2}}) {
            long nx = x + dx, ny = y + dy;
            if (nx > 0 && ny > 0 && nx < width - 1 && ny < height - 1 &&
                image.TopRow(ny)[nx * 3] == 0) {
                next.push_back({nx, ny});
            }
        }
        if (next.empty()) {
            stack.pop_back();
            continue;
        }
        auto [nx, ny] = next[random() % next.size()];
        SetTop(image, (x + nx) / 2, (y + ny) / 2, Rgb{255, 255, 255});
        SetTop(image, nx, ny, Rgb{255, 255, 255});
        stack.push_back({nx, ny});
    }
    return image;
}

}  // namespace flood_pictures
