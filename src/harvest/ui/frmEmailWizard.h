#pragma once

#include "core/ui/frmWizard.h"
#include "harvest/AddrManager.h"
#include "harvest/ui/frmQueryUserReName.h"
#include "harvest/ui/frmSearchOptions.h"

#include <QFileDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

// Builds a list from source files: the files and how each is searched, the name mode, the keywords the
// rows receive, and the build itself, which runs in slices on the event loop. Finish opens the new list.
class frmEmailWizard : public frmWizard {
    Q_OBJECT
public:
    enum Page { FilesPage, NamesPage, KeywordsPage, BuildPage };

    static QString title() { return QStringLiteral("Build Mailing List from Files"); }
    static QString noFileSelectedTitle() { return QStringLiteral("No file selected!"); }
    static QString selectToViewText() { return QStringLiteral("Please select a file to view."); }
    static QString selectToRemoveText() { return QStringLiteral("Please select a file to remove."); }
    static QString selectForOptionsText() {
        return QStringLiteral("Please select a file whose options you wish to view.");
    }
    static QString optionsRefusedText() {
        return QStringLiteral("Please select a source file and then reinvoke this dialog.");
    }
    static QString noSourceFilesTitle() { return QStringLiteral("No Source Files Selected"); }
    static QString noSourceFilesText() {
        return QStringLiteral("Please select at least one source file for addresses, or exit.");
    }

    // openList opens a built list as a new unsaved list window.
    frmEmailWizard(Prompter& prompter, std::function<void(const QString& result)> openList,
                   QWidget* parent = nullptr);
    ~frmEmailWizard() override;

    AddrManager& manager() { return manager_; }
    // Adds a file of the type the file-type option shows, as the file dialog and a drop do.
    bool addSourceFile(const QString& path);
    // The open file dialog, search options and name question, while they are shown.
    QFileDialog* fileDialog() const { return fileDialog_; }
    frmSearchOptions* searchOptions() const { return searchOptions_; }
    frmQueryUserReName* question() const { return question_; }

protected:
    bool checkPage(int page) override;
    void pageEntered(int page) override;
    bool finishWizard() override;
    void abandonWork() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildFilesPage();
    void buildNamesPage();
    void buildKeywordsPage();
    void buildBuildPage();
    QString selectedFile() const;
    void selectSourceFiles();
    void viewFile();
    void removeFile();
    void showSearchOptions();
    void fileTypeChosen();
    void startBuild();
    void askName(const EmailParser::NameQuestion& question);
    void buildFinished(const AddrManager::BuildResult& result);

    AddrManager manager_;
    std::function<void(const QString&)> openList_;
    QRadioButton* optAscii_ = nullptr;
    QRadioButton* optMailBox_ = nullptr;
    QListWidget* lstSelected_ = nullptr;
    QRadioButton* optNoNames_ = nullptr;
    QRadioButton* optGuess_ = nullptr;
    QRadioButton* optAskMe_ = nullptr;
    QLineEdit* txtKeyword1_ = nullptr;
    QLineEdit* txtKeyword2_ = nullptr;
    QPushButton* cmdBuild_ = nullptr;
    QPushButton* cmdInterrupt_ = nullptr;
    QLabel* lblLines_ = nullptr;
    QLabel* lblAddrs_ = nullptr;
    QLabel* lblCounter1_ = nullptr;
    QLabel* lblCounter2_ = nullptr;
    QLabel* lblResult_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPointer<QFileDialog> fileDialog_;
    QPointer<frmSearchOptions> searchOptions_;
    QPointer<frmQueryUserReName> question_;
    QString builtList_; // the last list built, until Finish hands it over
};
