#include "text/history_layout.h"

#include <qmsupport/toolsapi/codecs.h>

namespace qm::text {
namespace {

// The month, a separator and the year at the end of a title.
constexpr size_t kDatedTitle = 7;
// The same followed by a three-letter extension and its dot.
constexpr size_t kExtension = 4;

}  // namespace

QMWideString YearFolder(int year) {
    QMWideString folder;
    folder.Format(L"%04d", year);
    return folder;
}

QMWideString MonthFolder(int year, int month) {
    QMWideString folder;
    folder.Format(L"%04d\\%02d\\", year, month);
    return folder;
}

QMWideString MonthFilesPattern(const QMWideString& device, int year, int month) {
    QMWideString pattern = device;
    pattern.AppendFormat(L" %02d-%04d.*", month, year);
    return pattern;
}

bool DateOfTitle(std::wstring_view title, int& year, int& month) {
    const bool dated = title.size() >= kDatedTitle;
    year = dated ? Wtoi(title.substr(title.size() - 4, 4)) : 0;
    month = dated ? Wtoi(title.substr(title.size() - 7, 2)) : 0;
    return year != 0 && month != 0;
}

bool DateOfFileName(std::wstring_view name, int& year, int& month) {
    if (name.size() < kDatedTitle + kExtension) {
        year = month = 0;
        return false;
    }
    return DateOfTitle(name.substr(0, name.size() - kExtension), year, month);
}

}  // namespace qm::text
