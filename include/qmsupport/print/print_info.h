#pragma once

#include <QRect>

class QPrinter;

// What a print run or a preview tells the printing hooks and learns from them: the range of
// pages, the page being drawn and its drawing area, the printer, and whether to go on.
class PrintInfo {
  public:
    // The last page of a document whose length is not known: the hooks then end the run by
    // clearing continuePrinting.
    static constexpr unsigned kUnknownMaxPage = 0xFFFF;

    void SetMinPage(unsigned page) { minPage_ = page; }
    void SetMaxPage(unsigned page) { maxPage_ = page; }
    unsigned GetMinPage() const { return minPage_; }
    unsigned GetMaxPage() const { return maxPage_; }
    // The pages the user asked for; the whole document unless a print dialog narrowed it.
    void SetFromPage(unsigned page) { fromPage_ = page; }
    void SetToPage(unsigned page) { toPage_ = page; }
    unsigned GetFromPage() const { return fromPage_ != 0 ? fromPage_ : minPage_; }
    unsigned GetToPage() const { return toPage_ != 0 ? toPage_ : maxPage_; }

    // The printer of the run; in a preview, the device the preview draws on.
    QPrinter* printer = nullptr;
    // Printed on the default printer without a print dialog.
    bool direct = false;
    // Drawn for the preview rather than for a printer.
    bool preview = false;
    // Cleared by a hook to end the run before the current page.
    bool continuePrinting = true;
    // The page being prepared or drawn, counted from 1.
    unsigned currentPage = 1;
    // The printable area of the current page in device pixels, with the origin at its top left.
    QRect drawRect;

  private:
    unsigned minPage_ = 1;
    unsigned maxPage_ = kUnknownMaxPage;
    unsigned fromPage_ = 0;
    unsigned toPage_ = 0;
};
