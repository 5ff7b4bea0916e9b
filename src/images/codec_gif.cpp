// GIF through giflib, record by record: the first image is read into a canvas of the logical
// screen and every later record is left unread.
#include "images/codecs.h"
#include "images/pixel_memory.h"
#include "toolsapi/no_throw.h"

#include <gif_lib.h>

#include <algorithm>

namespace qm::images::detail {
namespace {

int ReadBytes(GifFileType* gif, GifByteType* out, int count) {
    return static_cast<int>(static_cast<ByteSource*>(gif->UserData)->Read(out, count));
}

// The transparent index of a graphic control extension, or -1.
int TransparentIndex(const GifByteType* extension) {
    return extension && extension[0] >= 4 && (extension[1] & 1) ? extension[4] : -1;
}

// Reads the first image's rows into the canvas; `line` holds one row of the image.
bool ReadImage(GifFileType* gif, int transparent, GifPixelType* line, Raster& out) {
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0 ||
        desc.Left + desc.Width > gif->SWidth || desc.Top + desc.Height > gif->SHeight) {
        return false;
    }
    out.palette.resize(static_cast<size_t>(map->ColorCount));
    for (int i = 0; i < map->ColorCount; ++i) {
        const GifColorType& c = map->Colors[i];
        out.palette[static_cast<size_t>(i)] = RGBQUAD{c.Blue, c.Green, c.Red, 0};
    }
    out.bpp = map->BitsPerPixel <= 1 ? 1 : map->BitsPerPixel <= 4 ? 4 : 8;
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int step = desc.Interlace ? kStep[pass] : 1;
        for (int y = desc.Interlace ? kStart[pass] : 0; y < desc.Height; y += step) {
            if (DGifGetLine(gif, line, desc.Width) != GIF_OK) {
                return false;
            }
            size_t at = size_t(desc.Top + y) * out.width + desc.Left;
            for (int x = 0; x < desc.Width; ++x, ++at) {
                if (line[x] == transparent) {
                    continue;
                }
                if (line[x] < map->ColorCount) {
                    const GifColorType& c = map->Colors[line[x]];
                    out.rgb[at * 3] = c.Red;
                    out.rgb[at * 3 + 1] = c.Green;
                    out.rgb[at * 3 + 2] = c.Blue;
                }
                if (out.alpha) {
                    out.alpha[at] = 255;
                }
            }
        }
    }
    return true;
}

bool ReadFirstImage(GifFileType* gif, Raster& out) {
    if (!WithinBound(static_cast<uint64_t>(std::max(gif->SWidth, 0)),
                     static_cast<uint64_t>(std::max(gif->SHeight, 0)))) {
        return false;
    }
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif, &code, &extension) != GIF_OK) {
                return false;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE) {
                transparent = TransparentIndex(extension);
            }
            while (extension) {
                if (DGifGetExtensionNext(gif, &extension) != GIF_OK) {
                    return false;
                }
            }
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK ||
                !out.Allocate(static_cast<uint32_t>(gif->SWidth),
                              static_cast<uint32_t>(gif->SHeight), false)) {
                return false;
            }
            // The canvas shows the background colour, or nothing when the image has a
            // transparent colour.
            if (transparent >= 0) {
                if (!out.AllocateAlpha(0)) {
                    return false;
                }
            } else if (gif->SColorMap && gif->SBackGroundColor < gif->SColorMap->ColorCount) {
                const GifColorType& c = gif->SColorMap->Colors[gif->SBackGroundColor];
                size_t count = size_t{out.width} * out.height;
                for (size_t i = 0; i < count; ++i) {
                    out.rgb[i * 3] = c.Red;
                    out.rgb[i * 3 + 1] = c.Green;
                    out.rgb[i * 3 + 2] = c.Blue;
                }
            }
            auto* line = static_cast<GifPixelType*>(
                AllocateCounted(static_cast<size_t>(std::max(gif->Image.Width, 1))));
            bool ok = line && ReadImage(gif, transparent, line, out);
            FreeCounted(line);
            return ok;
        } else {
            return false;  // the end of the file before any image
        }
    }
}

}  // namespace

bool DecodeGif(const uint8_t* data, size_t size, Raster& out) {
    ByteSource source{data, size};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, ReadBytes, &error);
    if (!gif) {
        return false;
    }
    const bool ok = qm::detail::NoThrow(false, [&] { return ReadFirstImage(gif, out); });
    DGifCloseFile(gif, &error);
    if (!ok) {
        out = Raster();
    }
    return ok;
}

}  // namespace qm::images::detail
