#include <qmsupport/print/print_preview_dialog.h>
#include <qmsupport/setup/tarvio_setup.h>

#include "common/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// Answers the next modal window of type T that opens while the object lives.
template <class T>
class ModalAnswer {
  public:
    explicit ModalAnswer(std::function<void(T*)> answer) {
        QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
            if (T* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer_.stop();
                answered_ = true;
                answer(window);
            }
        });
        timer_.start(10);
    }
    bool Answered() const { return answered_; }

  private:
    QTimer timer_;
    bool answered_ = false;
};

// Accepts the next message box, keeping its title and text.
struct Prompt {
    QString title;
    std::string text;
    ModalAnswer<QMessageBox> answer{[this](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text().toStdString();
        box->accept();
    }};
};

// The standard output of a command, or "" when it cannot run.
std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        pclose(pipe);
    }
    return out;
}

// Answers the print dialog: print to a PDF file, the pages from-to when `from` is given.
void PrintToFile(QPrintDialog* print, const std::string& file, int from = 0, int to = 0) {
    auto* printers = print->findChild<QComboBox*>("printers");
    printers->setCurrentIndex(printers->count() - 1);  // the last entry prints to a file
    print->findChild<QLineEdit*>("filename")->setText(QString::fromStdString(file));
    if (from != 0) {
        print->findChild<QRadioButton*>("printRange")->setChecked(true);
        print->findChild<QSpinBox*>("to")->setValue(to);
        print->findChild<QSpinBox*>("from")->setValue(from);
    }
    print->accept();
}

int PdfPages(const std::string& path) {
    const std::string info = Run("pdfinfo '" + path + "' 2>/dev/null");
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

std::string PdfPageText(const std::string& path, int page) {
    const std::string n = std::to_string(page);
    return Run("pdftotext -f " + n + " -l " + n + " '" + path + "' - 2>/dev/null");
}

// A host dialog that records its hooks and draws "Test page N of M" on each page.
class RecordingDialog : public QMPrintPreviewDialog {
  public:
    using QMPrintPreviewDialog::QMPrintPreviewDialog;

    unsigned pages = 5;              // the page count set in OnPreparePrinting; 0: unknown
    unsigned from = 0;               // the first page asked for; 0: the whole document
    unsigned stopAt = 0;             // OnPrepareDC clears continuePrinting on this page
    unsigned cancelAt = 0;           // the user cancels the printing while this page is drawn
    bool prepare = true;             // what OnPreparePrinting answers
    bool framework = false;          // OnPreparePrinting runs the default (print dialog)
    QString pdf;                     // the file printed to, empty: the printer asks for one
    std::vector<std::string> calls;  // the hooks, with page numbers for the per-page ones
    QWidget* main = nullptr;         // the main window, watched while the pages are drawn
    bool mainEnabledWhileDrawing = true;

  protected:
    bool OnPreparePrinting(PrintInfo* info) override {
        calls.push_back(info->preview ? "prepare preview" : "prepare");
        if (pages != 0) {
            info->SetMaxPage(pages);
        }
        if (framework) {
            return QMPrintPreviewDialog::OnPreparePrinting(info);
        }
        info->SetFromPage(from);
        if (!info->preview) {
            info->printer->setOutputFormat(QPrinter::PdfFormat);
            info->printer->setOutputFileName(pdf);
        }
        return prepare;
    }
    void OnBeginPrinting(QPainter* painter, PrintInfo*) override {
        calls.push_back(painter->isActive() ? "begin" : "begin inactive");
        if (main) {
            mainEnabledWhileDrawing = main->isEnabled();
        }
    }
    void OnPrepareDC(QPainter*, PrintInfo* info) override {
        calls.push_back("dc " + std::to_string(info->currentPage));
        if (info->currentPage == stopAt) {
            info->continuePrinting = false;
        }
    }
    void OnPrint(QPainter* painter, PrintInfo* info) override {
        calls.push_back("print " + std::to_string(info->currentPage));
        if (info->currentPage == cancelAt) {
            if (auto* progress =
                    qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
                progress->cancel();
            }
        }
        painter->setFont(QFont("DejaVu Sans", 12));
        painter->drawText(info->drawRect, Qt::AlignCenter,
                          QString("Test page %1 of %2").arg(info->currentPage).arg(pages));
    }
    void OnEndPrinting(QPainter*, PrintInfo*) override { calls.push_back("end"); }
};

std::vector<std::string> PrintCalls(const char* prepare, unsigned pages) {
    std::vector<std::string> calls = {prepare, "begin"};
    for (unsigned page = 1; page <= pages; ++page) {
        calls.push_back("dc " + std::to_string(page));
        calls.push_back("print " + std::to_string(page));
    }
    calls.push_back("end");
    return calls;
}

QWidget* PreviewWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->findChild<QPrintPreviewWidget*>()) {
            return window;
        }
    }
    return nullptr;
}

void DeleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The prompt of a print job that could not start, titled with the program's name; the run
// ended after OnPreparePrinting.
void ExpectCouldNotStart(const Prompt& prompt, const RecordingDialog& dialog) {
    EXPECT_TRUE(prompt.answer.Answered());
    EXPECT_EQ(prompt.title, "Tarvio test");
    EXPECT_EQ(prompt.text, "Could not start print job.");
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"prepare"});
}

// Prompts and the preview are titled with the program's name.
class PrintPreviewDialog : public ::testing::Test {
  protected:
    PrintPreviewDialog() { setup.SetProgramName(L"Tarvio test"); }
    QMTarvioSetup setup;
    TempDir dir;
};

}  // namespace

// Runs without a print dialog: how the hooks end a run, and the file each run leaves.
TEST_F(PrintPreviewDialog, RunsEndWhereTheHooksOrTheUserEndThem) {
    std::vector<std::string> stopped = PrintCalls("prepare", 2);
    stopped.insert(stopped.end() - 1, "dc 3");
    struct Run {
        const char* name;
        unsigned pages, from, stopAt, cancelAt;
        bool prepare;
        std::vector<std::string> calls;
        int pdfPages;  // -1: no file is left
    } const runs[] = {
        {"every page", 5, 0, 0, 0, true, PrintCalls("prepare", 5), 5},
        {"continuePrinting cleared on page 3", 0, 0, 3, 0, true, stopped, 2},
        {"cancelled on page 3", 5, 0, 0, 3, true, PrintCalls("prepare", 3), -1},
        {"cancelled on the last page", 5, 0, 0, 5, true, PrintCalls("prepare", 5), -1},
        // Page numbers end at the last page a print dialog can name.
        {"from UINT_MAX", UINT_MAX, UINT_MAX, 2, 0, true, {"prepare", "begin", "end"}, 1},
        {"preparation refused", 5, 0, 0, 0, false, {"prepare"}, -1},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        const std::string pdf = dir.Path(std::string(run.name) + ".pdf");
        RecordingDialog dialog;
        dialog.pages = run.pages;
        dialog.from = run.from;
        dialog.stopAt = run.stopAt;
        dialog.cancelAt = run.cancelAt;
        dialog.prepare = run.prepare;
        dialog.pdf = QString::fromStdString(pdf);
        dialog.OnDialogPrint();

        EXPECT_EQ(dialog.calls, run.calls);
        if (run.pdfPages < 0) {
            EXPECT_FALSE(std::filesystem::exists(pdf));
        } else {
            EXPECT_EQ(PdfPages(pdf), run.pdfPages);
        }
        int sheet = 0;  // each printed page is the next sheet of the file
        for (const std::string& call : run.calls) {
            if (run.pdfPages > 0 && call.starts_with("print ")) {
                const std::string text = PdfPageText(pdf, ++sheet);
                const std::string page = "Test page " + call.substr(6) + " of ";
                EXPECT_NE(text.find(page + std::to_string(run.pages)), std::string::npos) << text;
            }
        }
    }
}

TEST_F(PrintPreviewDialog, PrintingToAFileWithoutANameAsksForOne) {
    RecordingDialog dialog;
    const QString chosen = QString::fromStdString(dir.Path("chosen.pdf"));
    ModalAnswer<QFileDialog> answer([&](QFileDialog* files) {
        files->selectFile(chosen);
        static_cast<QDialog*>(files)->accept();
    });
    dialog.OnDialogPrint();

    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(dialog.calls, PrintCalls("prepare", 5));
    EXPECT_EQ(PdfPages(chosen.toStdString()), 5);

    // Cancelling the question cancels the run after OnPreparePrinting.
    dialog.calls.clear();
    ModalAnswer<QFileDialog> cancel([](QFileDialog* files) { files->reject(); });
    dialog.OnDialogPrint();
    EXPECT_TRUE(cancel.Answered());
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"prepare"});
}

TEST_F(PrintPreviewDialog, PageRangeOfThePrintDialogHoldsForItsRunOnly) {
    RecordingDialog dialog;
    dialog.framework = true;
    const std::string range = dir.Path("range.pdf");
    ModalAnswer<QPrintDialog> first([&](QPrintDialog* print) { PrintToFile(print, range, 2, 4); });
    dialog.OnDialogPrint();

    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"prepare", "begin", "dc 2", "print 2", "dc 3",
                                                      "print 3", "dc 4", "print 4", "end"}));
    ASSERT_EQ(PdfPages(range), 3);
    EXPECT_NE(PdfPageText(range, 1).find("Test page 2 of 5"), std::string::npos);

    // The next print dialog offers the whole document again.
    dialog.calls.clear();
    const std::string whole = dir.Path("whole.pdf");
    bool allPages = false;
    ModalAnswer<QPrintDialog> second([&](QPrintDialog* print) {
        allPages = print->printRange() == QAbstractPrintDialog::AllPages;
        PrintToFile(print, whole);
    });
    dialog.OnDialogPrint();
    EXPECT_TRUE(second.Answered());
    EXPECT_TRUE(allPages);
    EXPECT_EQ(dialog.calls, PrintCalls("prepare", 5));
    EXPECT_EQ(PdfPages(whole), 5);
}

TEST_F(PrintPreviewDialog, PrinterThatCannotStartAfterThePrintDialogShowsThePrompt) {
    RecordingDialog dialog;
    dialog.framework = true;
    dir.MakeDirectory("gone");
    ModalAnswer<QPrintDialog> print([&](QPrintDialog* print) {
        PrintToFile(print, dir.Path("gone/out.pdf"));
        std::filesystem::remove_all(dir.Path("gone"));  // the file can no longer be written
    });
    Prompt prompt;
    dialog.OnDialogPrint();

    EXPECT_TRUE(print.Answered());
    ExpectCouldNotStart(prompt, dialog);
    EXPECT_FALSE(dir.Exists("gone"));
}

TEST_F(PrintPreviewDialog, PrintDirectWithoutAPrinterShowsThePrompt) {
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        GTEST_SKIP() << "a printer is installed, and this would print on it";
    }
    RecordingDialog dialog;
    dialog.framework = true;
    Prompt prompt;
    dialog.OnDialogPrintDirect();

    ExpectCouldNotStart(prompt, dialog);
}

// With a parent or without one, the application's main window is disabled while the pages
// are drawn.
TEST_F(PrintPreviewDialog, PreviewStandsInForTheDialogUntilItCloses) {
    for (bool parented : {true, false}) {
        SCOPED_TRACE(parented);
        QMainWindow main;
        main.show();
        RecordingDialog dialog(parented ? &main : nullptr);
        dialog.main = &main;
        dialog.show();
        dialog.OnDialogPrintPreview();

        QWidget* preview = PreviewWindow();
        ASSERT_NE(preview, nullptr);
        EXPECT_FALSE(dialog.mainEnabledWhileDrawing);
        EXPECT_TRUE(main.isEnabled());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.PreviewActive());
        EXPECT_EQ(preview->windowTitle(), "Tarvio test");
        EXPECT_TRUE(preview->windowState() & Qt::WindowMaximized);
        EXPECT_EQ(preview->findChild<QPrintPreviewWidget*>()->pageCount(), 5);
        EXPECT_EQ(dialog.calls, PrintCalls("prepare preview", 5));

        preview->close();
        DeleteClosedWindows();
        EXPECT_EQ(PreviewWindow(), nullptr);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.PreviewActive());
        EXPECT_TRUE(main.isEnabled());
    }
}

TEST_F(PrintPreviewDialog, PrintFromThePreviewClosesItAndPrints) {
    RecordingDialog dialog;
    dialog.pdf = QString::fromStdString(dir.Path("from-preview.pdf"));
    dialog.show();
    dialog.OnDialogPrintPreview();
    QWidget* preview = PreviewWindow();
    ASSERT_NE(preview, nullptr);
    QAction* print = nullptr;
    for (QAction* action : preview->findChildren<QAction*>()) {
        print = action->text() == "&Print..." ? action : print;
    }
    ASSERT_NE(print, nullptr);
    dialog.calls.clear();
    print->trigger();
    DeleteClosedWindows();

    EXPECT_EQ(PreviewWindow(), nullptr);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.PreviewActive());
    EXPECT_EQ(dialog.calls, PrintCalls("prepare", 5));
    EXPECT_EQ(PdfPages(dir.Path("from-preview.pdf")), 5);
}

TEST_F(PrintPreviewDialog, PreviewThatCannotStartShowsThePromptAndKeepsTheDialog) {
    QMainWindow main;
    main.show();
    RecordingDialog dialog(&main);
    dialog.prepare = false;
    dialog.show();
    bool mainEnabledAtPrompt = false;
    std::string text;
    ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
        mainEnabledAtPrompt = main.isEnabled();
        text = box->text().toStdString();
        box->accept();
    });
    dialog.OnDialogPrintPreview();

    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(text, "Command failed.");
    EXPECT_TRUE(mainEnabledAtPrompt);
    EXPECT_EQ(PreviewWindow(), nullptr);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.PreviewActive());
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"prepare preview"});
}

TEST_F(PrintPreviewDialog, EndPreviewModeClearsTheFlag) {
    RecordingDialog dialog;
    dialog.OnDialogPrintPreview();
    ASSERT_TRUE(dialog.PreviewActive());
    dialog.EndPreviewMode();
    EXPECT_FALSE(dialog.PreviewActive());
}

TEST_F(PrintPreviewDialog, PreviewKeepsARunningExecGoing) {
    RecordingDialog dialog;
    bool hiddenDuringPreview = false;
    bool shownAfterPreview = false;
    bool stillInExec = false;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.OnDialogPrintPreview();
        hiddenDuringPreview = !dialog.isVisible();
        if (QWidget* preview = PreviewWindow()) {
            preview->close();
        }
        shownAfterPreview = dialog.isVisible();
        QTimer::singleShot(0, &dialog, [&] {
            stillInExec = true;
            dialog.done(7);
        });
    });
    EXPECT_EQ(dialog.exec(), 7);
    DeleteClosedWindows();
    EXPECT_TRUE(hiddenDuringPreview);
    EXPECT_TRUE(shownAfterPreview);
    EXPECT_TRUE(stillInExec);
}

// The default preparation shows the print dialog, up to the page count the host set; its
// Cancel ends the run after OnPreparePrinting.
TEST_F(PrintPreviewDialog, DefaultPreparationAsksForAPrinterOnlyWhenPrinting) {
    QMPrintPreviewDialog plain;
    QPrinter printer;
    PrintInfo info;
    EXPECT_FALSE(plain.OnPreparePrinting(&info));  // no printer
    info.printer = &printer;
    info.preview = true;
    EXPECT_TRUE(plain.OnPreparePrinting(&info));

    RecordingDialog dialog;
    dialog.framework = true;
    int maxPage = 0;
    ModalAnswer<QPrintDialog> cancel([&](QPrintDialog* print) {
        maxPage = print->maxPage();
        print->reject();
    });
    dialog.OnDialogPrint();
    EXPECT_TRUE(cancel.Answered());
    EXPECT_EQ(maxPage, 5);
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"prepare"});
}

TEST_F(PrintPreviewDialog, EnterAndEscapeLeaveTheDialogOpen) {
    QMPrintPreviewDialog dialog;
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.OnOK();
    dialog.OnCancel();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}
