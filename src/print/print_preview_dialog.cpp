#include <qmsupport/print/print_preview_dialog.h>

#include "print/preview_frame.h"
#include "print/print_view.h"

#include <QApplication>

namespace {

// The application's main window: the window the dialog belongs to, else the main window the
// application shows (a dialog without a parent still serves the application's main window).
QWidget* ApplicationMainWindow(const QWidget* dialog) {
    if (QWidget* parent = dialog->parentWidget()) {
        return parent->window();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && qobject_cast<QMainWindow*>(window) &&
            !qobject_cast<qm::print::PreviewFrame*>(window)) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace

QMPrintPreviewDialog::QMPrintPreviewDialog(QWidget* parent) : QDialog(parent) {}

QMPrintPreviewDialog::~QMPrintPreviewDialog() {
    delete preview_.data();
}

void QMPrintPreviewDialog::EndPreviewMode() {
    previewActive_ = false;
}

void QMPrintPreviewDialog::accept() {
    OnOK();
}

void QMPrintPreviewDialog::reject() {
    OnCancel();
}

void QMPrintPreviewDialog::OnOK() {}

void QMPrintPreviewDialog::OnCancel() {}

bool QMPrintPreviewDialog::OnPreparePrinting(PrintInfo* info) {
    return DoPreparePrinting(info);
}

void QMPrintPreviewDialog::OnBeginPrinting(QPainter*, PrintInfo*) {}

void QMPrintPreviewDialog::OnPrepareDC(QPainter*, PrintInfo*) {}

void QMPrintPreviewDialog::OnPrint(QPainter*, PrintInfo*) {}

void QMPrintPreviewDialog::OnEndPrinting(QPainter*, PrintInfo*) {}

bool QMPrintPreviewDialog::DoPreparePrinting(PrintInfo* info) {
    return qm::print::PreparePrinter(this, info);
}

void QMPrintPreviewDialog::OnDialogPrint() {
    qm::print::PrintView(this).FilePrint(false);
}

void QMPrintPreviewDialog::OnDialogPrintDirect() {
    qm::print::PrintView(this).FilePrint(true);
}

void QMPrintPreviewDialog::OnDialogPrintPreview() {
    if (previewActive_ && preview_) {
        preview_->activateWindow();
        return;
    }
    // The main window stays disabled while the preview is being set up.
    QWidget* mainWindow = ApplicationMainWindow(this);
    if (mainWindow) {
        mainWindow->setEnabled(false);
    }
    auto* frame = new qm::print::PreviewFrame(this, mainWindow);
    previewActive_ = true;
    frame->setWindowTitle(qm::print::ProgramName());
    const bool started = frame->Start();
    if (!started) {
        delete frame;
        previewActive_ = false;
    }
    if (mainWindow) {
        mainWindow->setEnabled(true);
    }
    if (!started) {
        qm::print::ShowPrompt(this, qm::print::Prompt::CommandFailed);
        return;
    }
    preview_ = frame;
    // QDialog::setVisible would end a running exec() on hiding; the preview only stands in
    // for the dialog until it closes.
    QWidget::setVisible(false);
    frame->showMaximized();
}
