// An example host of QMPrintPreviewDialog: a dialog that prints the built-in drivers
// catalogue as a paged table, with a page header and page numbers, from its Print and Print
// Preview buttons.
//
//   print_preview_dialog                    shows the dialog
//   print_preview_dialog --preview          shows the dialog and opens its print preview
//   print_preview_dialog --screenshot FILE  opens the print preview, saves it as PNG and quits

#include <qmsupport/print/print_preview_dialog.h>
#include <qmsupport/setup/tarvio_setup.h>

#include <QApplication>
#include <QDate>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct Column {
    const char* heading;
    int width;  // relative to the other columns
};
constexpr Column kColumns[] = {{"#", 3},       {"Identifier", 14}, {"Family", 11},    {"Group", 5},
                               {"Enabled", 6}, {"Views", 5},       {"Child kinds", 7}};
constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);
// Lines above the table rows (title, gap, column headings) and below them (gap, page number).
constexpr int kHeaderLines = 4;
constexpr int kFooterLines = 2;

QString Text(const QMWideString& text) {
    return QString::fromStdWString(text.str());
}

// The cells of one catalogue row.
QStringList Cells(const QMTarvioSetup& setup, int index) {
    const qm::DriversCatalogue::DriverEntry& row = *setup.CatalogueRow(index);
    QString views = QString(row.analogView ? "A" : "") + (row.textView ? "T" : "");
    return {QString::number(index),
            Text(row.identifier),
            Text(row.family),
            row.group < 0 ? "-" : QString::number(row.group),
            setup.IsDriverEnabled(index) ? "yes" : "no",
            views.isEmpty() ? "-" : views,
            row.childRules.empty() ? "-" : QString::number(row.childRules.size())};
}

class CatalogueDialog : public QMPrintPreviewDialog {
  public:
    CatalogueDialog() {
        setWindowTitle(tr("Drivers catalogue"));
        auto* layout = new QVBoxLayout(this);
        int enabled = 0;
        for (int i = 0; i < qm::kDriverCount; ++i) {
            enabled += QMTarvioSetup::Get().IsDriverEnabled(i);
        }
        layout->addWidget(
            new QLabel(tr("The drivers catalogue has %1 drivers, %2 of them enabled.\n"
                          "Print it, or look at the pages first in the print preview.")
                           .arg(qm::kDriverCount)
                           .arg(enabled)));
        auto* buttons = new QDialogButtonBox(this);
        connect(buttons->addButton(tr("&Print..."), QDialogButtonBox::ActionRole),
                &QPushButton::clicked, this, &CatalogueDialog::OnDialogPrint);
        connect(buttons->addButton(tr("Print Pre&view"), QDialogButtonBox::ActionRole),
                &QPushButton::clicked, this, &CatalogueDialog::OnDialogPrintPreview);
        connect(buttons->addButton(QDialogButtonBox::Close), &QPushButton::clicked, this,
                [this] { done(QDialog::Rejected); });
        layout->addWidget(buttons);
    }

  protected:
    bool OnPreparePrinting(PrintInfo* info) override {
        info->SetMaxPage(PageCount(info->printer));
        return QMPrintPreviewDialog::OnPreparePrinting(info);
    }

    // The paper may have changed in the print dialog or the preview.
    void OnBeginPrinting(QPainter*, PrintInfo* info) override {
        info->SetMaxPage(PageCount(info->printer));
    }

    void OnPrint(QPainter* painter, PrintInfo* info) override {
        const QRect page = info->drawRect;
        const int line = LineHeight(painter->device());
        painter->save();

        painter->setFont(TitleFont());
        painter->drawText(QRect(page.left(), page.top(), page.width(), 2 * line),
                          Qt::AlignLeft | Qt::AlignTop, tr("Drivers catalogue"));
        painter->setFont(BodyFont());
        painter->drawText(QRect(page.left(), page.top(), page.width(), 2 * line),
                          Qt::AlignRight | Qt::AlignTop,
                          Text(QMTarvioSetup::Get().ProgramName()) + "  " +
                              QDate::currentDate().toString(Qt::ISODate));

        int y = page.top() + (kHeaderLines - 1) * line;
        QStringList headings;
        for (const Column& column : kColumns) {
            headings << tr(column.heading);
        }
        painter->fillRect(QRect(page.left(), y, page.width(), line), QColor(210, 220, 235));
        DrawRow(painter, page, y, line, headings, true);

        const int rows = RowsPerPage(painter->device());
        const int first = static_cast<int>(info->currentPage - 1) * rows;
        const int last = std::min(first + rows, qm::kDriverCount);
        for (int index = first; index < last; ++index) {
            y += line;
            if (index % 2 == 1) {
                painter->fillRect(QRect(page.left(), y, page.width(), line), QColor(240, 243, 248));
            }
            DrawRow(painter, page, y, line, Cells(QMTarvioSetup::Get(), index), false);
        }
        painter->setPen(QPen(Qt::gray, 0));
        painter->drawLine(page.left(), y + line, page.right(), y + line);

        painter->setPen(Qt::black);
        painter->drawText(QRect(page.left(), page.bottom() - line, page.width(), line),
                          Qt::AlignCenter,
                          tr("Page %1 of %2").arg(info->currentPage).arg(info->GetMaxPage()));
        painter->restore();
    }

  private:
    static QFont BodyFont() { return QFont("DejaVu Sans", 9); }
    static QFont TitleFont() {
        QFont font("DejaVu Sans", 16);
        font.setBold(true);
        return font;
    }
    static int LineHeight(const QPaintDevice* device) {
        return QFontMetrics(BodyFont(), device).height() * 3 / 2;
    }
    static int RowsPerPage(const QPaintDevice* device) {
        return std::max(1, device->height() / LineHeight(device) - kHeaderLines - kFooterLines);
    }
    static unsigned PageCount(const QPaintDevice* device) {
        const int rows = RowsPerPage(device);
        return static_cast<unsigned>((qm::kDriverCount + rows - 1) / rows);
    }

    static void DrawRow(QPainter* painter, const QRect& page, int y, int line,
                        const QStringList& cells, bool bold) {
        int total = 0;
        for (const Column& column : kColumns) {
            total += column.width;
        }
        QFont font = BodyFont();
        font.setBold(bold);
        painter->setFont(font);
        painter->setPen(Qt::black);
        const int pad = line / 4;
        int x = page.left();
        for (int c = 0; c < kColumnCount; ++c) {
            const int width = page.width() * kColumns[c].width / total;
            painter->drawText(QRect(x + pad, y, width - 2 * pad, line),
                              Qt::AlignVCenter | (c == 0 ? Qt::AlignRight : Qt::AlignLeft),
                              cells.value(c));
            x += width;
        }
    }
};

// The window the print preview is shown in.
QWidget* PreviewWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->findChild<QPrintPreviewWidget*>()) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMTarvioSetup setup;
    setup.SetProgramName(L"QMSupport");

    const bool preview = argc >= 2 && std::strcmp(argv[1], "--preview") == 0;
    const char* screenshot =
        argc >= 3 && std::strcmp(argv[1], "--screenshot") == 0 ? argv[2] : nullptr;
    if (argc >= 2 && !preview && !screenshot) {
        std::fprintf(stderr, "usage: %s [--preview | --screenshot FILE]\n", argv[0]);
        return 2;
    }

    CatalogueDialog dialog;
    dialog.show();
    if (preview || screenshot) {
        dialog.OnDialogPrintPreview();
    }
    if (screenshot) {
        if (QWidget* window = PreviewWindow()) {
            window->resize(1100, 860);
        }
        // Saved once the window has been laid out and painted.
        QTimer::singleShot(1000, &app, [&] {
            QWidget* window = PreviewWindow();
            const bool saved = window && window->grab().save(QString::fromLocal8Bit(screenshot));
            app.exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
