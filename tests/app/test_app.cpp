// The editor's main window driven as a user would: mouse and keys on the real canvas, menus and
// hotkeys, the palette, the file commands with their questions. Runs under Xvfb.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <QDropEvent>
#include <QPushButton>
#include <QSplashScreen>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

#include "app/AppTestSupport.h"
#include "app/Canvas.h"
#include "app/DraftTool.h"
#include "app/Texts.h"
#include "app/ToolHooks.h"
#include "io/Settings.h"
#include "ic/ICDescription.h"
#include "io/BoardFile.h"
#include "model/Registry.h"

using namespace gw;
using namespace gw::test;

namespace {

void click(TApp& app, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mouseMove(canvasOf(app), p);
    QTest::mousePress(canvasOf(app), b, {}, p);
    QTest::mouseRelease(canvasOf(app), b, {}, p);
}

void wheel(TApp& app, int notches, QPoint at) {
    QWheelEvent e(QPointF(at), QPointF(canvasOf(app)->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvasOf(app), &e);
}

// A key typed into the main window; it is made the active window first, as a dialog that just
// closed may have left another one active.
void key(TApp& app, int k, Qt::KeyboardModifiers mods = {}) {
    if (QApplication::activeWindow() != app.Window) {
        app.Window->activateWindow();
        if (!QTest::qWaitForWindowActive(app.Window)) qWarning("main window not active");
    }
    QTest::keyClick(app.Window, static_cast<Qt::Key>(k), mods);
}

// Window opacity goes through 8 bits on X11.
bool opacityIs(QWidget* w, double v) { return std::abs(w->windowOpacity() - v) < 0.01; }

// Makes the canvas exactly w x h.
bool sizeCanvas(TApp& app, int w, int h) {
    const QSize extra = app.Window->size() - canvasOf(app)->size();
    app.Window->resize(w + extra.width(), h + extra.height());
    return QTest::qWaitFor([&] { return canvasOf(app)->size() == QSize(w, h); }, 3000);
}

QString unsavedTitle() { return "Gatewright v1.0 - by Ostra Velnik - " + loc("{{wnd_unsaved}}"); }

// Writes an IC description file with the given identifier and name (an inverter inside).
void writeIC(const QString& path, const std::string& id, const std::string& name) {
    TICDescription d;
    d.Name = name;
    d.cap = "IC";
    d.id = id;
    d.deviceID = {"$logic2|1"};
    d.invertedInputs = {{0}};
    d.invertedOutputs = {{0}};
    d.wireBelongs = {{{0, 0, 0}}, {{1, 0, 0}}};
    d.inputWires = {0};
    d.outputWires = {1};
    d.input_cap = {"A"};
    d.input_xpos = {-2};
    d.input_ypos = {0};
    d.output_cap = {"Y"};
    d.output_xpos = {2};
    d.output_ypos = {0};
    d.width = 4;
    d.Height = 2;
    std::string err;
    QVERIFY2(d.SaveToFile(path.toStdString(), &err) == 1, err.c_str());
}

std::string uniqueId(const char* stem) {
    static int n = 0;
    return std::string("$ic_test_") + stem + "_" + std::to_string(QCoreApplication::applicationPid()) + "_" +
           std::to_string(++n);
}

// Whether `a` is one of the language submenu's items (code 41 carries the language instead).
bool langAction(TApp& app, QAction* a) {
    return std::find(app.langMenus.begin(), app.langMenus.end(), a) != app.langMenus.end();
}

}  // namespace

class AppWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Workspace::programFolder(); }

    void startsCentredUnsavedWithDefaultSettings() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        QCOMPARE(app->Window->windowTitle(), unsavedTitle());
        QCOMPARE(app->Window->size(), QSize(800, 600));
        QVERIFY(!app->toolbar->isVisible());
        QCOMPARE(app->xScale, 1.0);
        // Start-up ends by storing the language, so the settings file exists with every key.
        QVERIFY(QFile::exists("cfg.ini"));
        QFile f("cfg.ini");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString ini = QString::fromUtf8(f.readAll());
        for (const char* k : {"show toolbar=False", "windows with alpha=False", "pos-x=default", "state=restored"})
            QVERIFY2(ini.contains(k), k);
        QVERIFY(waitFrames(*app, 3));
    }

    void toggleSwitchLightsLedWithinOneTick() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        auto sw = app->board->addDevice(getDraft("$swich1"), 5, 5);
        auto led = app->board->addDevice(getDraft("$led255|100|100"), 9, 5);
        QVERIFY(sw && led);
        // Wire mode by its hotkey, a wire from the switch's right output to the LED's left input.
        key(*app, Qt::Key_3);
        QCOMPARE(app->board->currentMode, TBoardEngine::modeWire);
        click(*app, screenOf(*app, 6, 5));
        click(*app, screenOf(*app, 8, 5));
        QCOMPARE(static_cast<int>(app->board->wireComplexList.size()), 1);
        QVERIFY(sw->outputs[0] != nullptr && led->inputs[2] != nullptr);
        key(*app, Qt::Key_1);
        QCOMPARE(app->board->currentMode, TBoardEngine::modeDefault);
        QVERIFY(waitFrames(*app, 1));
        QCOMPARE(led->data, 0);
        const QString before = app->Window->windowTitle();

        click(*app, screenOf(*app, 5, 5));
        QCOMPARE(sw->data, 1);
        QVERIFY(waitFrames(*app, 1));
        QCOMPARE(led->data, 1);
        QVERIFY(app->Window->windowTitle().endsWith("*"));
        QVERIFY(!before.endsWith("*") || before == app->Window->windowTitle());
    }

    void controlPressOnDeviceStartsDeviceMode() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        auto dev = app->board->addDevice(getDraft("$logic0|2"), 6, 6);
        QTest::keyPress(canvasOf(*app), Qt::Key_Control);
        QCOMPARE(app->ctrl_Down, 1);
        click(*app, screenOf(*app, 6, 6));
        QCOMPARE(app->board->currentMode, TBoardEngine::modeDevice);
        QCOMPARE(app->board->modeDevice_Draft, dev->draft);
        QTest::keyRelease(canvasOf(*app), Qt::Key_Control);
        QCOMPARE(app->ctrl_Down, 0);
        // A Control release the canvas never sees (focus elsewhere) must not leave Control held.
        QTest::keyPress(canvasOf(*app), Qt::Key_Control);
        QCOMPARE(app->ctrl_Down, 1);
        app->onCanvasFocusLost();
        QCOMPARE(app->ctrl_Down, 0);
    }

    void pressIsSeenOnceRightDragPansMiddleOpensMenu() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        QWidget* c = canvasOf(*app);
        // Left press: mh is 1 in the update of the press only; md stays 1 while held.
        QTest::mousePress(c, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(app->board->mh, 1);
        QCOMPARE(app->board->md, 1);
        QVERIFY(waitFrames(*app, 2));
        QCOMPARE(app->board->mh, 0);
        QCOMPARE(app->board->md, 1);
        QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(app->board->md, 0);

        // A right drag of 30 pixels moves the view by exactly 30 at any zoom.
        for (double zoom : {1.0, 1.5, 0.5}) {
            app->Scale(zoom / app->xScale, zoom / app->yScale);
            const double x0 = app->xMove, y0 = app->yMove;
            QTest::mousePress(c, Qt::RightButton, {}, QPoint(100, 100));
            QTest::mouseMove(c, QPoint(115, 100));
            QTest::mouseMove(c, QPoint(130, 100));
            QTest::mouseRelease(c, Qt::RightButton, {}, QPoint(130, 100));
            QCOMPARE(app->xMove, x0 + 30);
            QCOMPARE(app->yMove, y0);
        }

        // A middle press pops the tool menu up and leaves no button marked as held.
        QTest::mousePress(c, Qt::MiddleButton, {}, QPoint(60, 60));
        QVERIFY(QTest::qWaitFor([&] { return app->menu->isVisible(); }, 2000));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(app->md[i], 0);
            QCOMPARE(app->amd[i], 0);
        }
        const QList<QAction*> items = app->menu->actions();
        QList<int> codes;
        for (QAction* a : items)
            if (!a->isSeparator()) codes << a->data().toInt();
        QCOMPARE(codes, (QList<int>{16, 17, 18, 19, 20, 21, 22, 23}));
        // Choosing an item arrives as an ordinary command.
        for (QAction* a : items)
            if (a->data().toInt() == 22) a->trigger();
        QCOMPARE(app->board->currentMode, TBoardEngine::modeRemove);
        app->menu->hide();
    }

    void zoomKeepsCentreAndStaysInRange() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        QVERIFY(sizeCanvas(*app, 800, 600));
        app->xMove = 37;
        app->yMove = -12;
        const double w = app->clientWidth(), h = app->clientHeight();
        auto centreX = [&] { return (0.5 * w - app->xMove) / app->xScale; };
        auto centreY = [&] { return (0.5 * h - app->yMove) / app->yScale; };
        const double cx = centreX(), cy = centreY();

        // One wheel notch scales by 2^0.1; the board point under the window centre stays put.
        wheel(*app, 1, QPoint(10, 10));
        QVERIFY(std::abs(app->xScale - std::pow(2.0, 0.1)) < 1e-12);
        QVERIFY(std::abs(centreX() - cx) < 1e-9 && std::abs(centreY() - cy) < 1e-9);
        for (int i = 0; i < 30; ++i) wheel(*app, 1, QPoint(10, 10));
        QCOMPARE(app->xScale, 1.5);
        QCOMPARE(app->yScale, 1.5);
        QVERIFY(std::abs(centreX() - cx) < 1e-9);
        for (int i = 0; i < 40; ++i) wheel(*app, -1, QPoint(10, 10));
        QCOMPARE(app->xScale, 0.5);
        QVERIFY(std::abs(centreY() - cy) < 1e-9);

        // The zoom commands by their hotkeys: in, out, and back to exactly 1.0.
        key(*app, Qt::Key_Equal);
        QCOMPARE(app->xScale, 0.75);
        key(*app, Qt::Key_Minus);
        QCOMPARE(app->xScale, 0.5625);
        for (int i = 0; i < 5; ++i) key(*app, Qt::Key_Equal);
        QCOMPARE(app->xScale, 1.5);
        key(*app, Qt::Key_0);
        QCOMPARE(app->xScale, 1.0);
        QCOMPARE(app->yScale, 1.0);
        QVERIFY(std::abs(centreX() - cx) < 1e-9 && std::abs(centreY() - cy) < 1e-9);
    }

    void jumpToDevicesCentresThem() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        QVERIFY(sizeCanvas(*app, 800, 600));
        app->xMove = 5;
        app->yMove = 7;
        app->jumpToDevices();  // empty board: nothing moves
        QCOMPARE(app->xMove, 5.0);
        QCOMPARE(app->yMove, 7.0);
        app->board->addDevice(getDraft("$led255|100|100"), 3, 4);
        key(*app, Qt::Key_C);
        QCOMPARE(app->xMove, 340.0);
        QCOMPARE(app->yMove, 220.0);
        // Two devices: centred between them, at the zoom in force.
        app->board->addDevice(getDraft("$led255|100|100"), 13, -6);
        app->Scale(0.5, 0.5);
        app->jumpToDevices();
        QCOMPARE(app->xMove, -(3 * 20 * 0.5 + 13 * 20 * 0.5) / 2 + 400);
        QCOMPARE(app->yMove, -(-6 * 20 * 0.5 + 4 * 20 * 0.5) / 2 + 300);
    }

    void menusCarryEveryCodeAndHotkey() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        struct Item {
            int code;
            QKeySequence key;
        };
        const std::vector<Item> expected = {
            {0, QKeySequence(Qt::CTRL | Qt::Key_N)}, {1, QKeySequence(Qt::CTRL | Qt::Key_O)},
            {2, QKeySequence(Qt::CTRL | Qt::Key_S)}, {3, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
            {4, QKeySequence(Qt::Key_Escape)},       {16, QKeySequence(Qt::Key_1)},
            {17, QKeySequence(Qt::Key_2)},           {18, QKeySequence(Qt::Key_3)},
            {19, QKeySequence(Qt::Key_4)},           {20, QKeySequence(Qt::Key_5)},
            {21, QKeySequence(Qt::Key_6)},           {22, QKeySequence(Qt::Key_7)},
            {23, QKeySequence(Qt::Key_8)},           {32, QKeySequence(Qt::Key_F5)},
            {33, QKeySequence(Qt::Key_F6)},          {34, QKeySequence(Qt::Key_F7)},
            {35, QKeySequence(Qt::Key_F8)},          {36, QKeySequence(Qt::Key_F9)},
            {37, QKeySequence(Qt::Key_C)},           {38, QKeySequence(Qt::Key_Equal)},
            {39, QKeySequence(Qt::Key_Minus)},       {40, QKeySequence(Qt::Key_0)},
            {512, QKeySequence(Qt::Key_T)},          {513, QKeySequence(Qt::Key_P)},
            {48, QKeySequence(Qt::Key_F10)},         {49, QKeySequence(Qt::Key_F11)},
            {50, QKeySequence(Qt::Key_F12)}};
        std::vector<Item> found;
        std::function<void(QMenu*)> walk = [&](QMenu* m) {
            for (QAction* a : m->actions()) {
                if (a->menu()) walk(a->menu());
                else if (!a->isSeparator() && a->data().toInt() != 41 && !langAction(*app, a))
                    found.push_back({a->data().toInt(), a->shortcut()});
            }
        };
        for (QAction* top : app->Window->menuBar()->actions()) walk(top->menu());
        QCOMPARE(found.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(found[i].code, expected[i].code);
            QCOMPARE(found[i].key, expected[i].key);
        }
        // The toolbar: 21 cells, blanks at 5 and 14, the commands in strip order.
        const std::vector<int> codes = {0,  1,  2,  3,  4,  -1, 16, 17, 18, 19, 20,
                                        21, 22, 23, -1, 32, 33, 37, 38, 39, 40};
        QCOMPARE(app->toolButtons.size(), codes.size());
        for (size_t i = 0; i < codes.size(); ++i) {
            if (codes[i] < 0) QVERIFY(app->toolButtons[i] == nullptr);
            else QCOMPARE(app->toolButtons[i]->data().toInt(), codes[i]);
        }
        // Pressing a toolbar button issues its command.
        app->toolButtons[9]->trigger();
        QCOMPARE(app->board->currentMode, TBoardEngine::modeMove);
    }

    void hotkeysIssueTheirCommands() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        const struct {
            int key;
            int mode;
        } modes[] = {{Qt::Key_3, TBoardEngine::modeWire},   {Qt::Key_4, TBoardEngine::modeMove},
                     {Qt::Key_5, TBoardEngine::modeCaption}, {Qt::Key_6, TBoardEngine::modeInvert},
                     {Qt::Key_7, TBoardEngine::modeRemove},  {Qt::Key_1, TBoardEngine::modeDefault}};
        for (const auto& m : modes) {
            key(*app, m.key);
            QCOMPARE(app->board->currentMode, m.mode);
        }
        // View switches flip the board flags and the check marks, without marking the board changed.
        key(*app, Qt::Key_F5);
        QCOMPARE(app->board->bNetOn, 0);
        QVERIFY(!app->menuShowNet->isChecked() && !app->toolButtons[15]->isChecked());
        key(*app, Qt::Key_F6);
        QCOMPARE(app->board->bGridOn, 0);
        QVERIFY(!app->toolButtons[16]->isChecked());
        key(*app, Qt::Key_F7);
        QCOMPARE(app->board->bBorderOn, 0);
        key(*app, Qt::Key_F5);
        QCOMPARE(app->board->bNetOn, 1);
        QVERIFY(app->menuShowNet->isChecked() && app->toolButtons[15]->isChecked());
        QCOMPARE(app->board->isChanged(), 0);

        // Colours: a confirmed pick sets the colour, a cancelled one changes nothing.
        d->colors = {QColor(10, 20, 30), std::nullopt};
        key(*app, Qt::Key_F8);
        int r, g, b;
        app->board->getBackgroundColor(r, g, b);
        QCOMPARE(QColor(r, g, b), QColor(10, 20, 30));
        key(*app, Qt::Key_F9);
        app->board->getNetColor(r, g, b);
        QCOMPARE(QColor(r, g, b), QColor(200, 200, 200));
        QCOMPARE(d->colorAsked, 2);
        QCOMPARE(app->board->isChanged(), 0);

        // Information notices; the rights text is the serious one.
        key(*app, Qt::Key_F10);
        key(*app, Qt::Key_F11);
        QCOMPARE(d->notices.size(), 2);
        QCOMPARE(d->notices[0], TApp::historyText());
        QCOMPARE(d->seriousNotices, QStringList{TApp::rightsText()});

        // The author dialog is modal and runs its own loop while the board keeps stepping.
        const long long updates = app->updateCount();
        bool sawDialog = false;
        QTimer::singleShot(300, [&] {
            if (auto* dlg = app->Window->findChild<QDialog*>("authorDialog")) {
                sawDialog = dlg->isVisible() && dlg->windowTitle() == "Der Autor";
                dlg->reject();
            }
        });
        key(*app, Qt::Key_F12);
        QVERIFY(sawDialog);
        QVERIFY(app->updateCount() > updates);

        // File hotkeys reach their requesters.
        key(*app, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(d->openAsked, 1);
        key(*app, Qt::Key_S, Qt::ControlModifier);  // never saved: Save As asks for a path
        QCOMPARE(d->saveAsked, 1);
        key(*app, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(d->saveAsked, 2);
        auto before = app->board;
        key(*app, Qt::Key_N, Qt::ControlModifier);
        QVERIFY(app->board != before);

        // Toolbar and translucency keys.
        key(*app, Qt::Key_T);
        QCOMPARE(app->bShowToolbar, 1);
        QVERIFY(app->toolbar->isVisible());
        key(*app, Qt::Key_P);
        QCOMPARE(app->bAlphaOn, 1);

        // Esc is the exit command.
        key(*app, Qt::Key_Escape);
        QCOMPARE(app->valid, 0);
    }

    void paletteReturnsChosenTypeOrNone() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        TDraftTool& pal = *app->draftTool;

        // Double-clicking "Inverter" in the logic category ends the run with its type, and the
        // device command starts device mode with it. The board keeps running meanwhile.
        const long long frames = app->frameCount();
        bool useDisabledWithoutSelection = false;
        QTimer::singleShot(200, [&] {
            pal.SelectItem(3);
            pal.currentBox->clearSelection();
            QApplication::processEvents();
            useDisabledWithoutSelection = !pal.cmdUse->isEnabled();
            const auto rows = pal.currentBox->findItems("Inverter", Qt::MatchExactly);
            QVERIFY(rows.size() == 1);
            QWidget* vp = pal.currentBox->viewport();
            const QPoint at = pal.currentBox->visualItemRect(rows[0]).center();
            QTest::mouseClick(vp, Qt::LeftButton, {}, at);
            QTest::mouseDClick(vp, Qt::LeftButton, {}, at);
        });
        key(*app, Qt::Key_2);
        QVERIFY(useDisabledWithoutSelection);
        QCOMPARE(app->board->currentMode, TBoardEngine::modeDevice);
        QVERIFY(app->board->modeDevice_Draft);
        QCOMPARE(app->board->modeDevice_Draft->getID(), std::string("$logic2|1"));
        QVERIFY(app->frameCount() > frames);
        QVERIFY(!pal.Window->isVisible());

        // Esc closes it with no type; the board's mode stays as it was.
        key(*app, Qt::Key_4);
        QTimer::singleShot(200, [&] { QTest::keyClick(pal.Window, Qt::Key_Escape); });
        QCOMPARE(app->startDraftSelector(), DraftPtr());
        QTimer::singleShot(200, [&] { QTest::keyClick(pal.Window, Qt::Key_Escape); });
        key(*app, Qt::Key_2);  // the same through the command: Esc again, mode unchanged
        QCOMPARE(app->board->currentMode, TBoardEngine::modeMove);

        // The palette keeps its selection; the button takes the selected row.
        QTimer::singleShot(200, [&] {
            QCOMPARE(pal.kindBox->currentRow(), 3);
            QVERIFY(pal.cmdUse->isEnabled());
            pal.cmdUse->click();
        });
        const DraftPtr again = app->startDraftSelector();
        QVERIFY(again);
        QCOMPARE(again->getID(), std::string("$logic2|1"));
    }

    void catalogueListsBuiltinsAndScansIcs() {
        Workspace ws;
        const std::string dup = uniqueId("dup"), nested = uniqueId("nested");
        writeIC("ics/first.ic", dup, "Doppelt A");
        writeIC("ics/second.ic", dup, "Doppelt B");
        QDir("ics").mkdir("sub");
        writeIC("ics/sub/inner.ic", nested, "Verschachtelt");
        QFile junk("ics/junk.txt");
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not an IC");
        junk.close();

        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        TDraftTool& pal = *app->draftTool;
        const auto boxes = pal.categoryBoxes();
        QCOMPARE(static_cast<int>(boxes.size()), 9);
        QCOMPARE(pal.kindBox->item(0)->text(), loc("{{kat_all}}"));

        int builtins = 0;
        for (int i = 1; i <= 6; ++i) builtins += boxes[i]->count();
        QCOMPARE(builtins, 65);
        QCOMPARE(app->katEmitter->item(0)->text(), QString("Taster"));
        QCOMPARE(app->katCounter->item(app->katCounter->count() - 1)->text(), QString::fromUtf8("Zähler, 10 Binärstellen"));
        QCOMPARE(app->katLogic->item(0)->text(), QString::fromUtf8("Und-Logik ( 2 Eingänge)"));

        // Two files with one identifier give one entry; the sub-folder and the junk are ignored.
        QCOMPARE(app->katUDIC->count(), 1);
        const QString udic = app->katUDIC->item(0)->text();
        QVERIFY(udic == "Doppelt A" || udic == "Doppelt B");
        QVERIFY(!getDraft(nested));
        QVERIFY(getDraft(dup));
        QCOMPARE(pal.itemAll->count(), 66);

        // "all" is sorted by an ordinal comparison of the texts.
        for (int i = 1; i < pal.itemAll->count(); ++i)
            QVERIFY(pal.itemAll->item(i - 1)->text().toStdString() <= pal.itemAll->item(i)->text().toStdString());
        // Every built-in has its own identifier, registered.
        std::set<std::string> ids;
        for (int i = 1; i <= 6; ++i)
            for (int r = 0; r < boxes[i]->count(); ++r) {
                const DraftPtr t = boxes[i]->item(r)->data(Qt::UserRole).value<DraftPtr>();
                QVERIFY(t && getDraft(t->getID()) == t);
                ids.insert(t->getID());
            }
        QCOMPARE(static_cast<int>(ids.size()), 65);

        // An IC arriving later from a board goes to its category's end and to its sorted place in
        // "all"; the same identifier a second time adds nothing.
        auto ext = TICDescription::Create();
        ext->Name = "AAA extern";
        ext->id = uniqueId("ext");
        QVERIFY(app->_addUDIC(ext, 1));
        QCOMPARE(app->katExIC->count(), 1);
        QCOMPARE(pal.itemAll->item(0)->text(), QString("AAA extern"));
        QVERIFY(!app->_addUDIC(ext, 1));
        QCOMPARE(app->katExIC->count(), 1);
        QCOMPARE(pal.itemAll->count(), 67);
    }

    void savingWritesTheFileAndClearsTheStar() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        app->board->addDevice(getDraft("$swich0"), 2, 2);
        QCOMPARE(app->Window->windowTitle(), unsavedTitle() + "*");

        // Never saved: Save asks for a path; cancelling saves nothing and keeps the star.
        app->OnCommand(2);
        QCOMPARE(d->saveAsked, 1);
        QCOMPARE(app->Window->windowTitle(), unsavedTitle() + "*");

        const QString target = ws.path("mine.gwb");
        d->savePaths = {target};
        app->OnCommand(2);
        QVERIFY(QFile::exists(target));
        QCOMPARE(app->Window->windowTitle(), QString("Gatewright v1.0 - by Ostra Velnik - mine.gwb"));
        QCOMPARE(app->lastSavepath, target.toStdString());
        // The file holds the board: it reads back with its device.
        auto check = TBoardEngine::Create();
        QCOMPARE(readFromFile(*check, target.toStdString()), 1);
        QCOMPARE(static_cast<int>(check->deviceList.size()), 1);

        // Once saved, Save writes to the same path without asking.
        app->board->addDevice(getDraft("$swich0"), 8, 2);
        QVERIFY(app->Window->windowTitle().endsWith("*"));
        app->OnCommand(2);
        QCOMPARE(d->saveAsked, 2);
        QVERIFY(!app->Window->windowTitle().endsWith("*"));
        QCOMPARE(readFromFile(*TBoardEngine::Create(), target.toStdString()), 1);

        // A path that cannot be written: the serious notice, and the star stays.
        app->board->addDevice(getDraft("$swich0"), 14, 2);
        const std::string bad = ws.path("missing/folder/x.gwb").toStdString();
        app->menSave(bad);
        QCOMPARE(d->seriousNotices.size(), 1);
        QVERIFY(d->seriousNotices[0].startsWith(QString::fromStdString(
            "Beim Speichern von " + bad + " ist ein Fehler aufgetreten. Die Datei konnte nicht gespeichert werden!")));
        QVERIFY(app->Window->windowTitle().endsWith("mine.gwb*"));
        QCOMPARE(app->lastSavepath, target.toStdString());
    }

    void openingADamagedFileKeepsTheBoardAndSaysWhy() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        const QString good = ws.path("good.gwb");
        app->board->addDevice(getDraft("$led255|255|255"), 1, 1);
        app->menSave(good.toStdString());
        app->board->addDevice(getDraft("$led255|255|255"), 5, 1);
        auto board = app->board;
        const QString title = app->Window->windowTitle();

        for (const QByteArray& bytes : {QByteArray("\x01garbage", 8), QByteArray()}) {
            const QString damaged = ws.path("damaged.gwb");
            QFile f(damaged);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
            d->answers = {0};  // "discard the changes?" No
            d->notices.clear();
            app->menOpen(damaged.toStdString());
            QCOMPARE(app->board, board);
            QCOMPARE(app->lastSavepath, good.toStdString());
            QCOMPARE(app->board->isChanged(), 1);
            QCOMPARE(app->Window->windowTitle(), title);
            QCOMPARE(d->notices.size(), 1);
            QVERIFY2(d->notices[0].contains(damaged), qPrintable(d->notices[0]));
        }
        // A file that does not exist is named too.
        d->answers = {0};
        d->notices.clear();
        app->menOpen(ws.path("nowhere.gwb").toStdString());
        QVERIFY(d->notices.size() == 1 && d->notices[0].contains("nowhere.gwb"));
        QCOMPARE(app->board, board);

        // A good file replaces the board, centres its devices and names itself in the title.
        d->answers = {0};
        app->menOpen(good.toStdString());
        QVERIFY(app->board != board);
        QCOMPARE(static_cast<int>(app->board->deviceList.size()), 1);
        QCOMPARE(app->Window->windowTitle(), QString("Gatewright v1.0 - by Ostra Velnik - good.gwb"));
        QCOMPARE(app->xMove, -20.0 + 0.5 * app->clientWidth());
    }

    // Yes to "save the changes?" followed by a cancelled or failed save must not throw the board
    // away; a real save or No goes on; Cancel stops.
    void unsavedChangesQuestion_data() {
        QTest::addColumn<int>("command");  // 0 new, 1 open, 4 close
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("save");  // 0 cancelled dialog, 1 failing path, 2 good path
        QTest::addColumn<bool>("goesOn");
        for (int cmd : {0, 1, 4}) {
            const QByteArray n = cmd == 0 ? "new" : cmd == 1 ? "open" : "close";
            QTest::newRow(n + " yes, save cancelled") << cmd << 1 << 0 << false;
            QTest::newRow(n + " yes, save fails") << cmd << 1 << 1 << false;
            QTest::newRow(n + " yes, saved") << cmd << 1 << 2 << true;
            QTest::newRow(n + " no") << cmd << 0 << 0 << true;
            QTest::newRow(n + " cancel") << cmd << -1 << 0 << false;
        }
    }
    void unsavedChangesQuestion() {
        QFETCH(int, command);
        QFETCH(int, answer);
        QFETCH(int, save);
        QFETCH(bool, goesOn);
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        const QString other = ws.path("other.gwb");
        {
            auto b = TBoardEngine::Create();
            b->addDevice(getDraft("$swich1"), 0, 0);
            QCOMPARE(writeToFile(*b, other.toStdString()), 1);
        }
        app->board->addDevice(getDraft("$swich0"), 3, 3);
        auto board = app->board;
        d->answers = {answer};
        if (save == 1) d->savePaths = {ws.path("no/such/dir/x.gwb")};
        if (save == 2) d->savePaths = {ws.path("saved.gwb")};
        d->openPaths = {other};

        app->OnCommand(command);
        QCOMPARE(d->questions.size(), 1);
        const char* token = command == 0 ? "{{dm_new}}" : command == 1 ? "{{dm_open}}" : "{{dm_close}}";
        QCOMPARE(d->questions[0], loc(token));
        if (save == 1) QCOMPARE(d->seriousNotices.size(), 1);
        if (save == 2) QVERIFY(QFile::exists(ws.path("saved.gwb")));
        if (command == 4) {
            QCOMPARE(app->valid, goesOn ? 0 : 1);
        } else {
            QCOMPARE(app->board != board, goesOn);
            if (command == 1) QCOMPARE(d->openAsked, goesOn ? 1 : 0);
        }
        if (!goesOn) {
            QCOMPARE(app->board, board);
            QCOMPARE(app->board->isChanged(), 1);
            QCOMPARE(static_cast<int>(app->board->deviceList.size()), 1);
        }
    }

    void boardsOpenFromTheCommandLineAndByDrop() {
        Workspace ws;
        QDir(".").mkdir("launch");
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d, false, ws.path("launch"));  // the built-in types exist from here on

        for (const QString& name : {QString("launch/arg.gwb"), QString("dropped.gwb")}) {
            auto b = TBoardEngine::Create();
            b->addDevice(getDraft("$swich1"), 0, 0);
            if (name.startsWith("launch")) b->addDevice(getDraft("$swich1"), 4, 0);
            QCOMPARE(writeToFile(*b, ws.path(name).toStdString()), 1);
        }
        auto first = app->board;
        app->openStartArgument({""});  // an empty first argument is ignored
        QCOMPARE(app->board, first);
        // A relative path is found in the folder the program was started from.
        app->openStartArgument({"arg.gwb", "ignored.gwb"});
        QVERIFY2(d->notices.isEmpty(), qPrintable(d->notices.join("|")));
        QCOMPARE(static_cast<int>(app->board->deviceList.size()), 2);
        QVERIFY(app->Window->windowTitle().endsWith(" - arg.gwb"));
        QVERIFY(d->notices.isEmpty());

        // A file dropped on the window is opened.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(ws.path("dropped.gwb"))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(app->Window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(app->Window, &drop);
        QVERIFY2(d->questions.isEmpty() && d->notices.isEmpty(), qPrintable(d->questions.join("|") + d->notices.join("|")));
        QCOMPARE(static_cast<int>(app->board->deviceList.size()), 1);
        QVERIFY(app->Window->windowTitle().endsWith(" - dropped.gwb"));
    }

    void settingsOptionsAreWrittenExactly() {
        Workspace ws;
        {
            QFile f("cfg.ini");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[General]\r\nwindows with alpha=True\r\nshow toolbar=tRuE\r\n"
                    "[Window]\r\nsize-width=0\r\nsize-height=640x\r\nstate=Maximized\r\n");
        }
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        // Stored translucency applies at start-up without being toggled; "tRuE" shows the toolbar.
        QCOMPARE(app->bAlphaOn, 1);
        QVERIFY(app->menuAlphaOn->isChecked());
        QVERIFY(opacityIs(app->icTool->toolWindow(), 0.66));
        QVERIFY(opacityIs(app->captionTool->toolWindow(), 0.66));
        QVERIFY(opacityIs(app->draftTool->Window, 1.0));
        QCOMPARE(app->bShowToolbar, 1);
        QVERIFY(app->toolbar->isVisible());
        // A width of 0 is raised to a usable one; "640x" reads as 640; "Maximized" is not "maximized".
        QCOMPARE(app->Window->width(), 200);
        QCOMPARE(app->Window->height(), 640);
        QCOMPARE(app->windowState, 0);

        app->menShowToolbar();
        QCOMPARE(app->iniSettings->iniKeyShowToolbar->getValue(), std::string("False"));
        QVERIFY(!app->toolbar->isVisible());
        app->menShowToolbar();
        QCOMPARE(app->iniSettings->iniKeyShowToolbar->getValue(), std::string("True"));
        app->menUseAlpha(1);
        QCOMPARE(app->iniSettings->iniKeyUseAlpha->getValue(), std::string("False"));
        QVERIFY(opacityIs(app->icTool->toolWindow(), 1.0));

        // Closing stores the window's geometry.
        app->Window->move(33, 44);
        QTest::qWait(50);
        app->cmdClose();
        QCOMPARE(app->valid, 0);
        QFile f("cfg.ini");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString ini = QString::fromUtf8(f.readAll());
        QVERIFY2(ini.contains(QString("size-width=%1").arg(app->Window->width())), qPrintable(ini));
        QVERIFY(ini.contains("state=restored"));
    }

    void languageChoiceAndHotkeyLabels() {
        Workspace ws;
        {
            QFile f("cfg.ini");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[General]\r\nlanguage=Deutsch\r\n");
        }
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        QVERIFY(app->languages().size() >= 2);
        QVERIFY(app->Window->windowTitle().endsWith(loc("{{wnd_unsaved}}")));
        QAction* saveAs = nullptr;
        for (QAction* a : app->Window->menuBar()->actions().first()->menu()->actions())
            if (a->data().toInt() == 3 && !a->isSeparator()) saveAs = a;
        QVERIFY(saveAs);
        // Modifier names come from the start-up language and stay when the language changes.
        const QString germanKeys = "\t" + loc("{{Ctrl}}") + "+" + loc("{{Shift}}") + "+S";
        QCOMPARE(saveAs->text(), loc("{{wmf_saveAs}}") + germanKeys);
        QAction* other = nullptr;
        for (QAction* a : app->langMenus) {
            QCOMPARE(a->isChecked(), a->text() == "Deutsch");
            if (a->text() != "Deutsch") other = a;
        }
        QVERIFY(other);
        const QString before = saveAs->text();
        QVERIFY(!app->toolButtons.empty() && app->toolButtons[0]);
        const QString tipBefore = app->toolButtons[0]->toolTip();
        other->trigger();
        // Toolbar tooltips follow the language at once, like the menus.
        QVERIFY(app->toolButtons[0]->toolTip() != tipBefore);
        QVERIFY(other->isChecked());
        QVERIFY(saveAs->text() != before);
        QVERIFY(saveAs->text().endsWith(germanKeys));
        QCOMPARE(app->Window->windowTitle(), unsavedTitle());
        QCOMPARE(app->draftTool->kindBox->item(1)->text(), loc("{{kat_emitter}}"));
        QCOMPARE(QString::fromStdString(app->iniSettings->language()), other->text());
        // The choice is stored at once.
        QFile f("cfg.ini");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(f.readAll()).contains("language=" + other->text()));
    }

    void canvasFollowsTheDriver() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        AppOptions o;
        o.splashMinMs = 0;
        o.dialogs = d;
        auto app = TApp::Create(o);
        const OpenGLInfo gl = probeOpenGL();
        QVERIFY2(gl.usable, gl.why.c_str());  // Xvfb with Mesa offers OpenGL 3.3 or later
        // Where OpenGL only runs in software the raster canvas draws instead; a driver on a graphics
        // processor gets the OpenGL canvas.
        QCOMPARE(app->usesOpenGL(), !gl.software);
        QVERIFY(waitFrames(*app, 2));
    }

    void frameRateReadout() {
        Workspace ws;
        auto d = std::make_shared<ScriptedDialogs>();
        auto app = startApp(d);
        QVERIFY(waitFrames(*app, 10));
        QVERIFY(app->FPS > 0 && app->FPS <= 70);
        // A frame in the same millisecond as the previous one starts the average at 60 again.
        app->FPS = 31;
        app->lastMS = app->nowMs() + 1000;
        app->redrawCanvas(1);
        QCOMPARE(app->FPS, 60.0);
    }
};

int main(int argc, char** argv) {
    requestSurfaceFormat();
    QApplication qapp(argc, argv);
    AppWindowTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_app.moc"
