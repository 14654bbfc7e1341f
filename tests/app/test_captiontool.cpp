// The caption tool driven as a user would: a caption made in caption mode opens in it, every edit
// of text, size, shadow and colour reaches the caption on the board at once and marks the board
// changed, and removing the caption closes the tool. Runs under Xvfb. With GW_SCREENSHOT_DIR set,
// the tool is saved there as captiontool.png.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSlider>
#include <QTest>

#include "app/AppTestSupport.h"
#include "app/CaptionTool.h"
#include "app/Canvas.h"
#include "app/ICToolWidgets.h"
#include "app/Texts.h"

using namespace gw;
using namespace gw::test;

namespace {

void click(TApp& app, int gx, int gy) {
    const QPoint p = screenOf(app, gx, gy);
    QTest::mouseMove(canvasOf(app), p);
    QTest::mousePress(canvasOf(app), Qt::LeftButton, {}, p);
    QTest::mouseRelease(canvasOf(app), Qt::LeftButton, {}, p);
}

TCaptionTool& captionTool(TApp& app) {
    auto* t = dynamic_cast<TCaptionTool*>(app.captionTool.get());
    if (!t) qFatal("the caption tool is not the real one");
    return *t;
}

}  // namespace

class CaptionToolTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Workspace::programFolder(); }

    void editsReachTheCaptionAtOnceAndDeletingClosesTheTool() {
        Workspace ws;
        auto dialogs = std::make_shared<ScriptedDialogs>();
        auto app = startApp(dialogs, true);
        TApp& a = *app;
        TCaptionTool& t = captionTool(a);
        t.dialogs = dialogs;
        QVERIFY(t.Window->isHidden());

        // Two captions; the second one made is the one being edited.
        a.OnCommand(20);
        click(a, 2, 2);
        click(a, 2, 8);
        QCOMPARE(a.board->captionList.size(), size_t(2));
        CaptionPtr other = a.board->captionList[0];
        CaptionPtr cap = a.board->captionList[1];
        QVERIFY(QTest::qWaitForWindowExposed(t.Window));
        QCOMPARE(t.currentCaption, cap);
        QCOMPARE(t.tftCaption->text(), QString("Unnamed"));
        QCOMPARE(t.sizeSlider->value(), 1);
        QCOMPARE(t.sizeLbl->text(), loc("{{ct_middle}}"));
        QVERIFY(t.cbShadow->isChecked());

        // Saved boards start unchanged; every kind of edit marks the board again.
        struct Edit {
            const char* what;
            std::function<void()> act;
            std::function<bool()> applied;
        } edits[] = {
            {"typing", [&] { QTest::keyClicks(t.tftCaption, "!"); }, [&] { return cap->txt == "Unnamed!"; }},
            {"size", [&] { t.sizeSlider->setValue(2); },
             [&] { return cap->Size == 2 && t.sizeLbl->text() == loc("{{ct_big}}"); }},
            {"small", [&] { t.sizeSlider->setValue(0); },
             [&] { return cap->Size == 0 && t.sizeLbl->text() == loc("{{ct_small}}"); }},
            {"shadow", [&] { QTest::mouseClick(t.cbShadow, Qt::LeftButton, {}, QPoint(5, t.cbShadow->height() / 2)); },
             [&] { return cap->bShadow == 0; }},
            {"colour",
             [&] {
                 dialogs->colors.push_back(QColor(10, 120, 230));
                 QTest::mouseClick(t.panelColor, Qt::LeftButton, {}, QPoint(5, 5));
             },
             [&] { return cap->colR == 10 && cap->colG == 120 && cap->colB == 230; }},
        };
        for (const Edit& e : edits) {
            a.board->setChanged(0);
            QVERIFY(!a.Window->windowTitle().endsWith("*"));
            e.act();
            QVERIFY2(e.applied(), e.what);
            QVERIFY2(a.board->isChanged(), e.what);
            QVERIFY2(a.Window->windowTitle().endsWith("*"), e.what);
        }
        QCOMPARE(t.panelColor->color(), QColor(10, 120, 230));
        QCOMPARE(other->txt, std::string("Unnamed"));

        // A cancelled colour choice changes nothing.
        a.board->setChanged(0);
        dialogs->colors.push_back(std::nullopt);
        QTest::mouseClick(t.panelColor, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(cap->colB, 230);
        QVERIFY(!a.board->isChanged());

        // Opening a caption fills the gadgets without counting as an edit.
        a.board->setChanged(0);
        other->Size = 7;  // out of range: shown and kept as the middle size, as it is drawn
        t.Start(other);
        QCOMPARE(t.tftCaption->text(), QString("Unnamed"));
        QCOMPARE(t.sizeSlider->value(), 1);
        QCOMPARE(other->Size, 1);
        QVERIFY(!a.board->isChanged());
        t.Start(cap);

        const QString dir = qEnvironmentVariable("GW_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QTest::qWait(100);
            QVERIFY(t.Window->grab().save(dir + "/captiontool.png"));
        }

        // Removing another caption leaves the tool open; removing the edited one closes it.
        QVERIFY(QTest::qWaitFor([&] { return cap->width > 0; }, 3000));  // drawn once, so it has a size
        a.OnCommand(22);
        click(a, other->xPos, other->yPos);
        QCOMPARE(other->isValid, 0);
        QVERIFY(t.Window->isVisible());
        QCOMPARE(t.currentCaption, cap);
        click(a, cap->xPos, cap->yPos);
        QCOMPARE(cap->isValid, 0);
        QVERIFY(t.Window->isHidden());
        QVERIFY(!t.currentCaption);
        // Edits after closing go nowhere.
        a.board->setChanged(0);
        t.tftCaption->setText("late");
        QVERIFY(!a.board->isChanged());
    }

    void closingAndNewBoardLetTheCaptionGo() {
        Workspace ws;
        auto dialogs = std::make_shared<ScriptedDialogs>();
        auto app = startApp(dialogs, true);
        TApp& a = *app;
        TCaptionTool& t = captionTool(a);
        a.OnCommand(20);
        click(a, 3, 3);
        QVERIFY(t.currentCaption);
        t.Window->close();
        QVERIFY(t.Window->isHidden());
        QVERIFY(!t.currentCaption);

        click(a, 3, 3);  // reopens it
        QVERIFY(t.currentCaption);
        dialogs->answers.push_back(0);  // discard the unsaved board
        a.OnCommand(0);
        QVERIFY(t.board == a.board);
        QVERIFY(!t.currentCaption);
        QVERIFY(t.Window->isHidden());
    }
};

int main(int argc, char** argv) {
    requestSurfaceFormat();
    QApplication qapp(argc, argv);
    CaptionToolTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_captiontool.moc"
