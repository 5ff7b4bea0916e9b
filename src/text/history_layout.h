#pragma once

// Where the history files of the data directory lie and how they are named. A device's file
// for a month is named after the device, a separator, the month in two digits, a separator,
// the year in four digits and an extension ("Meter 1 03-2007.dat"); it lies in the folder of
// its year and, below it, of its month ("2007\03\") below the folder it belongs to.

#include <qmsupport/toolsapi/basic_string.h>

#include <string_view>

namespace qm::text {

// The folder of a year, "2007".
QMWideString YearFolder(int year);
// The folders of a year and a month, ending with a separator: "2007\03\".
QMWideString MonthFolder(int year, int month);
// The files of a device for a month: "Meter 1 03-2007.*".
QMWideString MonthFilesPattern(const QMWideString& device, int year, int month);

// The month and the year at the end of a file's title ("..03_2008"), read as _wtoi reads them;
// both are 0 for a title shorter than seven characters. True when neither reads as 0.
bool DateOfTitle(std::wstring_view title, int& year, int& month);
// The same for a whole file name whose extension has three letters ("..03_2008.csv").
bool DateOfFileName(std::wstring_view name, int& year, int& month);

}  // namespace qm::text
