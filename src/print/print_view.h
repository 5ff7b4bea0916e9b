#pragma once

#include <qmsupport/print/print_preview_dialog.h>

#include <QCoreApplication>
#include <QPointer>

class QPainter;
class QPrinter;
class QProgressDialog;

namespace qm::print {

// The printer the application prints on. The print dialog edits it, so the next run starts
// with the last choice; it lives as long as the application.
QPrinter& ApplicationPrinter();

// The host program's name from the setup, the title of the preview and the prompts; empty
// while there is no setup.
QString ProgramName();

// The prompts of the printing framework.
enum class Prompt {
    FailedToStartPrint,  // the printer or its document cannot be started
    CommandFailed,       // the print preview cannot be started
};

// Shows a prompt of the printing framework as a warning box over `parent`.
void ShowPrompt(QWidget* parent, Prompt prompt);

// Chooses the printer of a run for QMPrintPreviewDialog::DoPreparePrinting.
bool PreparePrinter(QWidget* parent, PrintInfo* info);

// Prints for a dialog as a document view would: it runs the framework's print sequence and
// page loop and calls the dialog's hooks on the way. During a preview it also keeps the main
// window that the preview stands in for.
class PrintView {
    Q_DECLARE_TR_FUNCTIONS(PrintView)

  public:
    explicit PrintView(QMPrintPreviewDialog* dialog, QWidget* mainWindow = nullptr)
        : dialog_(dialog), mainWindow_(mainWindow) {}

    QMPrintPreviewDialog* Dialog() const { return dialog_; }

    // False when the dialog is gone or its OnPreparePrinting refuses.
    bool OnPreparePrinting(PrintInfo* info);

    // The print sequence: OnPreparePrinting (which shows the print dialog unless `direct`), a
    // file name when the printer writes a file without one, then the document, with a
    // progress box whose Cancel aborts it.
    void FilePrint(bool direct);

    // Draws the document on the printer the painter is active on: OnBeginPrinting, the pages,
    // the end or abort of the document, OnEndPrinting. False when it was aborted.
    bool Render(QPainter& painter, PrintInfo& info, QProgressDialog* progress);

    // The end of a preview: the dialog is shown again and leaves preview mode, and the main
    // window is enabled.
    void OnEndPrintPreview();

  private:
    bool PrintPages(QPainter& painter, PrintInfo& info, QProgressDialog* progress);

    QPointer<QMPrintPreviewDialog> dialog_;
    QPointer<QWidget> mainWindow_;
};

}  // namespace qm::print
