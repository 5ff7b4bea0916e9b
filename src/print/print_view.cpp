#include "print/print_view.h"

#include <qmsupport/setup/tarvio_setup.h>

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>

#include <algorithm>

namespace qm::print {

namespace {

// Owned by the application object, so that the printer goes with the application.
class PrinterHolder : public QObject {
  public:
    using QObject::QObject;
    QPrinter printer;
};

// Makes `printer` a real printer for print-direct: the one chosen before, else the system's
// default. False when there is none.
bool UseDefaultPrinter(QPrinter& printer) {
    if (printer.outputFormat() != QPrinter::NativeFormat) {
        const QPrinterInfo system = QPrinterInfo::defaultPrinter();
        if (system.isNull()) {
            return false;
        }
        printer.setPrinterName(system.printerName());
    }
    return printer.outputFormat() == QPrinter::NativeFormat && printer.isValid();
}

}  // namespace

QString ProgramName() {
    return QMTarvioSetup::HasInstance()
               ? QString::fromStdWString(QMTarvioSetup::Get().ProgramName().str())
               : QString();
}

QPrinter& ApplicationPrinter() {
    static QPointer<PrinterHolder> holder;
    if (!holder) {
        holder = new PrinterHolder(QCoreApplication::instance());
    }
    return holder->printer;
}

void ShowPrompt(QWidget* parent, Prompt prompt) {
    const QString text = prompt == Prompt::FailedToStartPrint
                             ? PrintView::tr("Could not start print job.")
                             : PrintView::tr("Command failed.");
    QMessageBox::warning(parent, ProgramName(), text);
}

bool PreparePrinter(QWidget* parent, PrintInfo* info) {
    if (!info || !info->printer) {
        return false;
    }
    if (info->preview) {
        return true;
    }
    QPrinter& printer = *info->printer;
    if (info->direct) {
        if (!UseDefaultPrinter(printer)) {
            ShowPrompt(parent, Prompt::FailedToStartPrint);
            return false;
        }
        return true;
    }
    // Every run offers the whole document: the range chosen last time is not kept.
    const int minPage = static_cast<int>(info->GetMinPage());
    const int maxPage = static_cast<int>(info->GetMaxPage());
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(minPage, maxPage);
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(minPage, maxPage);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const bool range = printer.printRange() == QPrinter::PageRange;
    info->SetFromPage(range ? static_cast<unsigned>(printer.fromPage()) : 0);
    info->SetToPage(range ? static_cast<unsigned>(printer.toPage()) : 0);
    return true;
}

bool PrintView::OnPreparePrinting(PrintInfo* info) {
    return dialog_ && dialog_->OnPreparePrinting(info);
}

void PrintView::FilePrint(bool direct) {
    PrintInfo info;
    info.direct = direct;
    info.printer = &ApplicationPrinter();
    if (!OnPreparePrinting(&info)) {
        return;
    }
    QPrinter& printer = *info.printer;
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty()) {
        const QString name = QFileDialog::getSaveFileName(dialog_, tr("Print to File"), QString(),
                                                          tr("PDF files (*.pdf)"));
        if (name.isEmpty()) {
            return;
        }
        printer.setOutputFileName(name);
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowPrompt(dialog_, Prompt::FailedToStartPrint);
        return;
    }
    QProgressDialog progress(tr("Printing..."), tr("Cancel"), 0, 0, dialog_);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setWindowTitle(ProgramName());
    progress.show();
    Render(painter, info, &progress);
}

bool PrintView::Render(QPainter& painter, PrintInfo& info, QProgressDialog* progress) {
    if (dialog_) {
        dialog_->OnBeginPrinting(&painter, &info);
    }
    const bool printed = PrintPages(painter, info, progress);
    if (!printed) {
        info.printer->abort();
    }
    painter.end();
    // A file is finished even when its document is aborted: an aborted run leaves none.
    if (!printed && !info.printer->outputFileName().isEmpty()) {
        QFile::remove(info.printer->outputFileName());
    }
    if (dialog_) {
        dialog_->OnEndPrinting(&painter, &info);
    }
    return printed;
}

bool PrintView::PrintPages(QPainter& painter, PrintInfo& info, QProgressDialog* progress) {
    QPrinter& printer = *info.printer;
    const unsigned first = std::max(info.GetFromPage(), info.GetMinPage());
    // Page numbers are those a print dialog can name, so counting up never wraps around.
    const unsigned last =
        std::min({info.GetToPage(), info.GetMaxPage(), PrintInfo::kUnknownMaxPage});
    info.continuePrinting = true;
    for (unsigned page = first; page <= last && dialog_; ++page) {
        info.currentPage = page;
        info.drawRect = QRect(0, 0, printer.width(), printer.height());
        dialog_->OnPrepareDC(&painter, &info);
        if (!info.continuePrinting) {
            break;
        }
        if (page != first && !printer.newPage()) {
            return false;
        }
        if (progress) {
            progress->setLabelText(tr("Printing page %1...").arg(page));
            QCoreApplication::processEvents();
        }
        dialog_->OnPrint(&painter, &info);
        // A Cancel given up to the end of the page aborts the document there.
        if (progress) {
            QCoreApplication::processEvents();
            if (progress->wasCanceled()) {
                return false;
            }
        }
    }
    return true;
}

void PrintView::OnEndPrintPreview() {
    if (dialog_) {
        dialog_->show();
        dialog_->EndPreviewMode();
    }
    if (mainWindow_) {
        mainWindow_->setEnabled(true);
    }
}

}  // namespace qm::print
