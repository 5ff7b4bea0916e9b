#include "command.h"
#include "image_files.h"

#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/image_xml.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "usage: qmsupport image info FILE\n"
                 "       qmsupport image to-img NAME FILE --images DIR\n"
                 "       qmsupport image from-img FILE.img -o OUT.png\n\n"
                 "Looks at images as the suite stores them.\n\n"
                 "  info      prints the format, size and depth of an image file (PNG, JPEG,\n"
                 "            GIF, BMP, TGA, PSD, PIC or PNM), or of an .img/.limg file\n"
                 "  to-img    writes DIR/NAME.img (the image as PNG) and DIR/NAME.limg (a small\n"
                 "            JPEG) as base64 text, as the images directory holds them\n"
                 "  from-img  decodes an .img or .limg file and writes the image as PNG\n");
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "qmsupport image: %s\n", message.c_str());
    return kExitFailure;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "qmsupport image: %s\n(see 'qmsupport image --help')\n", message.c_str());
    return kExitUsage;
}

const char* FormatName(uint32_t type) {
    switch (type) {
        case qm::images::kFormatBmp:
            return "BMP";
        case qm::images::kFormatJpeg:
            return "JPEG";
        case qm::images::kFormatPng:
            return "PNG";
        case qm::images::kFormatGif:
            return "GIF";
        default:
            return "other";
    }
}

int Info(const std::string& path) {
    CxImage image;
    bool fromText = false;
    if (!ReadImageFile(path, image, fromText)) {
        return Fail("'" + path + "' is no image this program can read");
    }
    std::printf("%s%s %ux%u, %u bits%s\n", FormatName(image.GetType()),
                fromText ? " in base64 text" : "", image.GetWidth(), image.GetHeight(),
                image.GetBpp(), image.AlphaIsValid() ? " with alpha" : "");
    return kExitOk;
}

int ToImg(const std::string& name, const std::string& path, std::string directory) {
    CxImage image;
    bool fromText = false;
    if (!ReadImageFile(path, image, fromText)) {
        return Fail("'" + path + "' is no image this program can read");
    }
    if (directory.back() != '/' && directory.back() != '\\') {
        directory += '/';
    }
    QMTarvioSetup setup;
    QMWideString wideDirectory, wideName;
    Utf8ToUtf16(wideDirectory, directory.c_str());
    Utf8ToUtf16(wideName, name.c_str());
    setup.SetImagesPath(wideDirectory);
    if (!Image2XMLFile(wideName.c_str(), &image)) {
        return Fail("cannot write '" + directory + name + ".img'");
    }
    std::printf("wrote %s%s.img and .limg\n", directory.c_str(), name.c_str());
    return kExitOk;
}

int FromImg(const std::string& path, const std::string& output) {
    CxImage image;
    bool fromText = false;
    if (!ReadImageFile(path, image, fromText)) {
        return Fail("'" + path + "' holds no image this program can read");
    }
    if (!WritePngFile(output, image)) {
        return Fail("cannot write '" + output + "'");
    }
    return kExitOk;
}

int Run(const std::vector<std::string>& args) {
    std::vector<std::string> operands;
    std::string images, output;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return kExitOk;
        } else if (arg == "--images" || arg == "-o") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return UsageError(arg + " needs a value");
            }
            (arg == "-o" ? output : images) = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else {
            operands.push_back(arg);
        }
    }
    const std::string action = operands.empty() ? "" : operands[0];
    if (action == "info" && operands.size() == 2 && images.empty() && output.empty()) {
        return Info(operands[1]);
    }
    if (action == "to-img" && operands.size() == 3 && !images.empty() && output.empty()) {
        return ToImg(operands[1], operands[2], images);
    }
    if (action == "from-img" && operands.size() == 2 && !output.empty() && images.empty()) {
        return FromImg(operands[1], output);
    }
    return UsageError(action.empty() ? "missing action" : "wrong arguments for '" + action + "'");
}

const CommandRegistration kRegistration({"image", "look at images and the .img files", Run});

}  // namespace
