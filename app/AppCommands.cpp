// The commands behind the menus and the toolbar: files with the unsaved-changes question, view
// switches and colours, interface options, the IC command, language and the information dialogs.
#include <QAction>
#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QToolBar>

#include "app/App.h"
#include "app/DraftTool.h"
#include "app/Texts.h"
#include "app/ToolHooks.h"
#include "io/BoardFile.h"
#include "io/Language.h"
#include "io/Settings.h"

namespace gw {

bool TApp::confirmDiscard(const char* token) {
    if (!board || !board->isChanged()) return true;
    const int answer = dialogs_->question(Window, loc(token));
    if (answer < 0) return false;
    if (answer == 0) return true;
    // Yes: save first. When the save is cancelled or fails the board still holds the only copy of
    // the user's work, so the command stops here instead of throwing it away.
    menSave("");
    return lastSaveOk_;
}

int TApp::menNew() {
    if (!confirmDiscard("{{dm_new}}")) return 0;
    replaceBoard(generateNewBoard());
    lastSavepath.clear();
    updateWindowTitle();
    return 0;
}

int TApp::menOpen(const std::string& path) {
    if (!confirmDiscard("{{dm_open}}")) return 0;
    std::string p = path;
    if (p.empty()) {
        p = dialogs_->openPath(Window).toStdString();
        if (p.empty()) return 0;
    }
    // The file is read into a fresh board; the current one is only replaced once that succeeded.
    std::shared_ptr<TBoardEngine> fresh = generateNewBoard();
    BoardLoadReport report;
    if (readFromFile(*fresh, p, &report) == 0) {
        fresh->Destroy();
        const std::string reason = report.error.empty() ? std::string("unbekannter Fehler") : report.error;
        dialogs_->notice(Window,
                         QString::fromStdString("Beim Öffnen von " + p +
                                                " ist ein Fehler aufgetreten. Die Datei konnte nicht geöffnet "
                                                "werden:\n\n" + reason),
                         true);
        showPendingProblems();
        return 0;
    }
    replaceBoard(fresh);
    jumpToDevices();
    lastSavepath = p;
    updateWindowTitle();
    if (!report.warnings.empty()) {
        std::string text = "Die Datei " + p + " wurde geöffnet; dabei wurde Folgendes ausgebessert:";
        for (const std::string& w : report.warnings) text += "\n- " + w;
        dialogs_->notice(Window, QString::fromStdString(text), false);
    }
    showPendingProblems();
    return 0;
}

int TApp::menSave(const std::string& path) {
    lastSaveOk_ = false;
    std::string p = path;
    if (p.empty()) {
        if (lastSavepath.empty()) {
            menSaveAs("");
            return 0;
        }
        p = lastSavepath;
    }
    std::string error;
    if (writeToFile(*board, p, &error) != 0) {
        lastSavepath = p;
        lastSaveOk_ = true;
        board->setChanged(0);
        updateWindowTitle();
    } else {
        QString text = QString::fromStdString("Beim Speichern von " + p +
                                              " ist ein Fehler aufgetreten. Die Datei konnte nicht gespeichert werden!");
        if (!error.empty()) text += "\n\n" + QString::fromStdString(error);
        dialogs_->notice(Window, text, true);
    }
    return 0;
}

int TApp::menSaveAs(const std::string& path) {
    lastSaveOk_ = false;
    std::string p = path;
    if (p.empty()) p = dialogs_->savePath(Window, QString::fromStdString(lastSavepath)).toStdString();
    if (!p.empty()) menSave(p);
    return 0;
}

int TApp::changeShowNet() {
    board->bNetOn = board->bNetOn ? 0 : 1;
    if (menuShowNet) menuShowNet->setChecked(board->bNetOn != 0);
    if (toolButtons.size() > 15 && toolButtons[15]) toolButtons[15]->setChecked(board->bNetOn != 0);
    return 0;
}

int TApp::changeShowNetDots() {
    board->bGridOn = board->bGridOn ? 0 : 1;
    if (menuShowNetDots) menuShowNetDots->setChecked(board->bGridOn != 0);
    if (toolButtons.size() > 16 && toolButtons[16]) toolButtons[16]->setChecked(board->bGridOn != 0);
    return 0;
}

int TApp::changeShowScreenborder() {
    board->bBorderOn = board->bBorderOn ? 0 : 1;
    if (menuShowScreenBorder) menuShowScreenBorder->setChecked(board->bBorderOn != 0);
    return 0;
}

int TApp::changeBackgroundColor() {
    int r = 0, g = 0, b = 0;
    board->getBackgroundColor(r, g, b);
    if (dialogs_->pickColor(Window, r, g, b)) board->setBackgroundColor(r, g, b);
    return 0;
}

int TApp::changeNetColor() {
    int r = 0, g = 0, b = 0;
    board->getNetColor(r, g, b);
    if (dialogs_->pickColor(Window, r, g, b)) board->setNetColor(r, g, b);
    return 0;
}

int TApp::menShowToolbar() {
    bShowToolbar = bShowToolbar ? 0 : 1;
    if (menuShowToolbar) menuShowToolbar->setChecked(bShowToolbar == 1);
    iniSettings->setShowToolbar(bShowToolbar == 1);
    if (toolbar) toolbar->setVisible(bShowToolbar == 1);
    return 0;
}

void TApp::applyToolOpacity() {
    const double opacity = bAlphaOn == 1 ? 0.66 : 1.0;
    for (AppTool* t : {static_cast<AppTool*>(icTool.get()), static_cast<AppTool*>(captionTool.get())})
        if (t && t->toolWindow()) t->toolWindow()->setWindowOpacity(opacity);
}

int TApp::menUseAlpha(int toggle) {
    if (toggle == 1) bAlphaOn = bAlphaOn ? 0 : 1;
    iniSettings->setUseAlpha(bAlphaOn == 1);
    if (menuAlphaOn) menuAlphaOn->setChecked(bAlphaOn == 1);
    applyToolOpacity();
    return 0;
}

int TApp::defineIC() {
    if (icTool) icTool->Start();
    return 0;
}

int TApp::changeLanguage(const std::shared_ptr<Language>& language) {
    if (language) localizer_->setActive(language);
    if (!Window) return 0;
    for (QAction* a : langMenus) {
        const int i = a->data().toInt();
        a->setChecked(language && i >= 0 && i < static_cast<int>(languages_.size()) && languages_[i] == language);
    }
    refreshMenus();
    if (draftTool) draftTool->updateForLanguage();
    if (captionTool) captionTool->updateForLanguage();
    if (icTool) icTool->updateForLanguage();
    updateWindowTitle();
    updateToolTips();
    // Without any language there is no name to store; the stored choice stays as it was.
    if (language) {
        iniSettings->setLanguage(language->id());
        iniSettings->save();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Information dialogs

QString TApp::historyText() {
    return QString::fromUtf8(
        "Die Idee zu Gatewright entstand im Pflichtunterricht der Schule: Schaltungen aus Und- und "
        "Oder-Gattern wurden dort nur an der Tafel gezeichnet, und ich wollte sie endlich laufen sehen.\n\n"
        "Das Programm entstand innerhalb von zwei Wochen; sein Quelltext ist etwa 4.000 Zeilen lang.\n\n"
        "Herzlichen Dank an meine Betatester Mirela Dunkan, Tobias Greifer und Leni Sarovsky für ihre "
        "Geduld und ihre vielen Hinweise.\n\n"
        "Dies ist die erste öffentliche Version.");
}

QString TApp::rightsText() {
    return QString::fromUtf8(
        "Du darfst dieses Programm nicht zu deinem eigenen Gewinn weitergeben oder verkaufen.\n\n"
        "Der Autor haftet nicht für Schäden, die auf dieses Programm zurückgeführt werden. Die "
        "Benutzung geschieht auf deine eigene Gefahr.\n\n"
        "Von strafbaren Handlungen mit Hilfe dieses Programms ist ausdrücklich abzusehen.");
}

QString TApp::authorText() {
    return QString::fromUtf8(
        "Gatewright v1.0\n\nein Editor und Simulator für digitale Schaltungen\n\nvon Ostra Velnik\n"
        "(Oskar Travnik)");
}

QString TApp::authorSite() { return QStringLiteral("https://ostra-velnik.example.org"); }

int TApp::menHistory() {
    dialogs_->notice(Window, historyText(), false);
    return 0;
}

int TApp::menRights() {
    dialogs_->notice(Window, rightsText(), true);
    return 0;
}

int TApp::menAuthor() {
    QDialog dlg(Window, Qt::Tool);
    dlg.setObjectName("authorDialog");
    dlg.setWindowTitle(QString::fromUtf8("Der Autor"));
    dlg.setFixedSize(500, 190);
    if (Window) {
        const QRect g = Window->frameGeometry();
        dlg.move(g.x() + (g.width() - 500) / 2, g.y() + (g.height() - 190) / 2);
    }
    const int cw = 500, ch = 190;

    auto* picture = new QLabel(&dlg);
    picture->setGeometry(5, 5, 180, 180);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(QPixmap("data/logo.png").scaled(180, 180, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    auto* text = new QLabel(authorText(), &dlg);
    text->setGeometry(190, 5, cw - 195, ch - 45);
    text->setAlignment(Qt::AlignCenter);
    text->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    text->setWordWrap(true);
    QFont f13 = text->font();
    f13.setPixelSize(13);
    text->setFont(f13);

    auto* link = new QLabel(QString("<a href=\"%1\">%1</a>").arg(authorSite()), &dlg);
    link->setObjectName("authorLink");
    link->setGeometry(190, ch - 35, cw - 195, 30);
    link->setAlignment(Qt::AlignCenter);
    link->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    QFont f18 = link->font();
    f18.setPixelSize(18);
    link->setFont(f18);

    // Modal: the main window takes no input, the frame timer keeps the board running meanwhile.
    dlg.setWindowModality(Qt::ApplicationModal);
    dlg.exec();
    return 0;
}

}  // namespace gw
