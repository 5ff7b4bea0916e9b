#include "print/preview_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QToolBar>

namespace qm::print {

PreviewFrame::PreviewFrame(QMPrintPreviewDialog* dialog, QWidget* mainWindow)
    : view_(dialog, mainWindow) {
    printer_.setPageLayout(ApplicationPrinter().pageLayout());
    pages_ = new QPrintPreviewWidget(&printer_, this);
    pages_->setZoomMode(QPrintPreviewWidget::FitInView);
    setCentralWidget(pages_);
    connect(pages_, &QPrintPreviewWidget::paintRequested, this, &PreviewFrame::Draw);

    QToolBar* bar = addToolBar(tr("Print Preview"));
    bar->setMovable(false);
    bar->addAction(tr("&Print..."), this, &PreviewFrame::Print);
    bar->addAction(tr("&Next Page"), this,
                   [this] { pages_->setCurrentPage(pages_->currentPage() + 1); });
    bar->addAction(tr("Pre&v Page"), this,
                   [this] { pages_->setCurrentPage(pages_->currentPage() - 1); });
    QAction* twoPages = bar->addAction(tr("&Two Page"));
    twoPages->setCheckable(true);
    connect(twoPages, &QAction::toggled, this, [this](bool two) {
        two ? pages_->setFacingPagesViewMode() : pages_->setSinglePageViewMode();
    });
    bar->addAction(tr("Zoom &In"), pages_, [this] { pages_->zoomIn(); });
    bar->addAction(tr("Zoom &Out"), pages_, [this] { pages_->zoomOut(); });
    QAction* closeAction = bar->addAction(tr("&Close"), this, &QWidget::close);
    closeAction->setShortcut(Qt::Key_Escape);
}

bool PreviewFrame::Start() {
    info_.preview = true;
    info_.printer = &printer_;
    if (!view_.OnPreparePrinting(&info_)) {
        return false;
    }
    pages_->updatePreview();
    return true;
}

void PreviewFrame::Draw(QPrinter* printer) {
    info_.printer = printer;
    QPainter painter;
    if (painter.begin(printer)) {
        view_.Render(painter, info_, nullptr);
    }
}

void PreviewFrame::Print() {
    QPointer<QMPrintPreviewDialog> dialog = view_.Dialog();
    close();
    if (dialog) {
        dialog->OnDialogPrint();
    }
}

void PreviewFrame::closeEvent(QCloseEvent* event) {
    event->accept();
    view_.OnEndPrintPreview();
    deleteLater();
}

}  // namespace qm::print
