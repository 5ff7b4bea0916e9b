#pragma once

#include <qmsupport/export.h>
#include <qmsupport/print/print_info.h>

#include <QDialog>
#include <QPointer>

class QPainter;

namespace qm::print {
class PreviewFrame;
}  // namespace qm::print

// A dialog that prints its own content or shows it in a print preview. A host dialog derives
// from it, draws its pages in the printing hooks, and connects its Print and Preview commands
// to OnDialogPrint and OnDialogPrintPreview.
//
// For each run the hooks are called in this order: OnPreparePrinting; OnBeginPrinting; for
// each page OnPrepareDC, then (unless it cleared continuePrinting) OnPrint; OnEndPrinting.
//
// Enter and Escape do not close the dialog: accept() and reject() go to OnOK and OnCancel,
// which do nothing. A host closes it with done() or overrides them.
class QMSUPPORT_API QMPrintPreviewDialog : public QDialog {
    Q_OBJECT

  public:
    explicit QMPrintPreviewDialog(QWidget* parent = nullptr);
    ~QMPrintPreviewDialog() override;

    // Whether a preview of this dialog is open.
    bool PreviewActive() const { return previewActive_; }
    // Clears the preview-active flag; called when the preview closes.
    void EndPreviewMode();

    void accept() override;
    void reject() override;

  public Q_SLOTS:
    // The Print command: the print dialog, then the pages on the chosen printer.
    void OnDialogPrint();
    // The print-direct command: the pages on the default printer, without a dialog.
    void OnDialogPrintDirect();
    // The Print Preview command: the pages in a preview window that stands in for the dialog
    // and for the main window until it is closed.
    void OnDialogPrintPreview();

  public:
    // The printing hooks, which the print loop and the preview call in the order above.
    // Sets up the run; false cancels it. The default runs DoPreparePrinting.
    virtual bool OnPreparePrinting(PrintInfo* info);
    // The painter is active on the run's printer; the defaults do nothing.
    virtual void OnBeginPrinting(QPainter* painter, PrintInfo* info);
    virtual void OnPrepareDC(QPainter* painter, PrintInfo* info);
    virtual void OnPrint(QPainter* painter, PrintInfo* info);
    // Called after the document is finished or aborted; the painter no longer draws.
    virtual void OnEndPrinting(QPainter* painter, PrintInfo* info);
    virtual void OnOK();
    virtual void OnCancel();

  protected:
    // Chooses the printer of a run: nothing to choose for a preview, the default printer for
    // print-direct (a prompt when there is none), else the print dialog, which may narrow the
    // page range. False when there is no printer or the user cancels.
    bool DoPreparePrinting(PrintInfo* info);

  private:
    bool previewActive_ = false;
    QPointer<qm::print::PreviewFrame> preview_;
};
