#pragma once

#include "print/print_view.h"

#include <QMainWindow>
#include <QPrinter>

class QPrintPreviewWidget;

namespace qm::print {

// The window of a print preview: the dialog's pages as its hooks draw them, and a tool bar
// with the preview's commands (print, page, two pages, zoom, close). Closing it ends the
// preview, and the window deletes itself.
class PreviewFrame : public QMainWindow {
    Q_OBJECT

  public:
    PreviewFrame(QMPrintPreviewDialog* dialog, QWidget* mainWindow);

    // Prepares the run and draws the pages; false when the dialog's OnPreparePrinting refuses.
    bool Start();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Draws the pages on the preview's device, each time the preview asks for them.
    void Draw(QPrinter* printer);
    // Ends the preview and prints through the dialog's Print command.
    void Print();

    PrintView view_;
    PrintInfo info_;
    QPrinter printer_;
    QPrintPreviewWidget* pages_;
};

}  // namespace qm::print
