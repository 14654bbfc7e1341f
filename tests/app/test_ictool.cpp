// The IC definition tool driven as a user would: a half adder drawn on the board with the mouse,
// its nets given to pin places through the tool's buttons and clicks on the board, saved, found in
// the palette, placed, wired to switches and run. Runs under Xvfb. With GW_SCREENSHOT_DIR set, the
// tool window with pins on all four sides is saved there as ictool_all_sides.png. The canvas uses
// the raster backend: what is tested here does not depend on how the board is drawn.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/AppTestSupport.h"
#include "app/Canvas.h"
#include "app/DraftTool.h"
#include "app/ICTool.h"
#include "app/ICToolWidgets.h"
#include "model/Registry.h"

using namespace gw;
using namespace gw::test;

namespace {

void click(TApp& app, int gx, int gy) {
    const QPoint p = screenOf(app, gx, gy);
    QTest::mouseMove(canvasOf(app), p);
    QTest::mousePress(canvasOf(app), Qt::LeftButton, {}, p);
    QTest::mouseRelease(canvasOf(app), Qt::LeftButton, {}, p);
}

void place(TApp& app, const std::string& id, int gx, int gy) {
    app.board->startDeviceMode(getDraft(id));
    click(app, gx, gy);
}

// One straight wire in wire mode, press at each end.
void wire(TApp& app, int x1, int y1, int x2, int y2) {
    app.board->startWireMode();
    click(app, x1, y1);
    click(app, x2, y2);
}

TICTool& icTool(TApp& app) {
    auto* t = dynamic_cast<TICTool*>(app.icTool.get());
    if (!t) qFatal("the IC tool is not the real one");
    return *t;
}

WirePtr netAt(TApp& app, int gx, int gy) {
    auto nets = app.board->getWiresAt(gx, gy);
    return nets.size() == 1 ? nets[0] : nullptr;
}

// Assigns the net at grid point (gx, gy) to a place the way the user does: the place's button,
// then a click on the board.
void assign(TApp& app, TConPlace& p, bool output, int gx, int gy) {
    QTest::mouseClick(output ? p.cmdOutput : p.cmdInput, Qt::LeftButton);
    click(app, gx, gy);
}

}  // namespace

class ICToolTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Workspace::programFolder(); }

    void halfAdderBecomesAnICThatAdds() {
        Workspace ws;
        QDir("ics").removeRecursively();  // the save has to make the folder itself
        auto dialogs = std::make_shared<ScriptedDialogs>();
        auto app = startApp(dialogs, true);
        TApp& a = *app;

        // A and B on two buses; carry = A AND B; sum = (A OR B) AND NOT carry.
        place(a, "$swich1", 0, 0);
        place(a, "$swich1", 0, 14);
        place(a, "$logic0|2", 7, 2);   // carry
        place(a, "$logic1|2", 7, 7);   // A OR B
        place(a, "$logic0|2", 13, 7);  // sum
        QCOMPARE(a.board->deviceList.size(), size_t(5));
        wire(a, 1, 0, 2, 0);
        wire(a, 2, 0, 2, 12);
        wire(a, 1, 14, 3, 14);
        wire(a, 3, 14, 3, 3);
        wire(a, 2, 2, 6, 2);
        wire(a, 3, 3, 6, 3);
        wire(a, 2, 7, 6, 7);
        wire(a, 3, 8, 6, 8);
        wire(a, 8, 7, 12, 7);
        wire(a, 8, 2, 10, 2);
        wire(a, 10, 2, 10, 8);
        wire(a, 10, 8, 12, 8);
        wire(a, 14, 7, 16, 7);
        a.board->startInvertMode();
        click(a, 12, 8);
        QCOMPARE(a.board->deviceList[4]->invertedInputs[1], 1);
        QVERIFY(netAt(a, 2, 0) && netAt(a, 3, 14) && netAt(a, 16, 7) && netAt(a, 9, 2));
        QVERIFY(a.board->deviceList[2]->inputs[1] == netAt(a, 3, 14).get());

        // The tool, opened by its command; nets assigned through its buttons.
        a.OnCommand(23);
        TICTool& t = icTool(a);
        QVERIFY(QTest::qWaitForWindowExposed(t.Window));
        QCOMPARE(t.inAction(), 1);
        assign(a, *t.leftPlaces[0], false, 2, 0);
        assign(a, *t.leftPlaces[1], false, 3, 14);
        assign(a, *t.rightPlaces[0], true, 16, 7);
        assign(a, *t.rightPlaces[1], true, 9, 2);
        QCOMPARE(a.board->currentMode, TBoardEngine::modeDefault);
        QCOMPARE(t.leftPlaces[1]->state->conWire, netAt(a, 3, 14));
        QCOMPARE(t.rightPlaces[1]->state->conTypeOutput, 1);
        // An assigned place offers only "C" beside its greyed-out kind, and its caption field.
        QVERIFY(t.rightPlaces[0]->cmdInput->isHidden());
        QVERIFY(!t.rightPlaces[0]->cmdOutput->isEnabled());
        QVERIFY(!t.rightPlaces[0]->cmdClear->isHidden());
        QVERIFY(t.rightPlaces[0]->textfield->isEnabled());
        QVERIFY(!t.topPlaces[0]->textfield->isEnabled());

        const QString name = "HA/../sum";
        t.txtTitle->setText(name);
        t.txtDesc->setText("adds two bits");
        t.txtName->setText("HA");
        QTest::keyClicks(t.leftPlaces[0]->textfield, "A");
        QTest::keyClicks(t.leftPlaces[1]->textfield, "B");
        QTest::keyClicks(t.rightPlaces[0]->textfield, "S");
        QTest::keyClicks(t.rightPlaces[1]->textfield, "C");
        dialogs->colors.push_back(QColor(200, 220, 255));
        QTest::mouseClick(t.panelColor, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(t.colB, 255);
        QCOMPARE(t.colR, 200);

        QTest::mouseClick(t.cmdSave, Qt::LeftButton);
        QVERIFY2(t.lastSaveSucceeded(), qPrintable(dialogs->seriousNotices.join("\n")));
        QVERIFY(dialogs->seriousNotices.isEmpty());
        // Saved inside ics/ under a name made safe, with the Name itself unchanged.
        const QFileInfo file(QString::fromStdString(t.lastSavePath()));
        QVERIFY(file.exists());
        QCOMPARE(QFileInfo(file.absolutePath()).fileName(), QString("ics"));
        QVERIFY(file.fileName().startsWith("HA_.._sum_$ic"));
        auto back = TICDescription::Create();
        QCOMPARE(back->readFromFile(t.lastSavePath()), 1);
        QCOMPARE(QString::fromStdString(back->Name), name);
        QCOMPARE(back->deviceID, (std::vector<std::string>{"$logic0|2", "$logic1|2", "$logic0|2"}));

        // In the palette, at the end of its category and of "all", and now being placed.
        QListWidget* udic = a.katUDIC;
        QVERIFY(udic && udic->count() > 0);
        QListWidgetItem* row = udic->item(udic->count() - 1);
        QCOMPARE(row->text(), name);
        QCOMPARE(row->toolTip(), QString("adds two bits"));
        DraftPtr type = row->data(Qt::UserRole).value<DraftPtr>();
        QVERIFY(type);
        QCOMPARE(a.draftTool->itemAll->item(a.draftTool->itemAll->count() - 1)->text(), name);
        QCOMPARE(getDraft(type->getID()), type);
        QCOMPARE(a.board->currentMode, TBoardEngine::modeDevice);
        QCOMPARE(a.board->modeDevice_Draft, type);

        // Placed and driven by two fresh switches.
        click(a, 30, 10);
        QCOMPARE(a.board->deviceList.back()->draft, type);
        place(a, "$swich1", 24, 10);
        place(a, "$swich1", 24, 14);
        TDevice* swA = a.board->deviceList[a.board->deviceList.size() - 2].get();
        TDevice* swB = a.board->deviceList.back().get();
        wire(a, 25, 10, 29, 10);
        wire(a, 25, 14, 27, 14);
        wire(a, 27, 14, 27, 11);
        wire(a, 27, 11, 29, 11);
        wire(a, 32, 10, 35, 10);
        wire(a, 32, 11, 35, 11);
        TDevice& chip = *a.board->deviceList[5];
        QVERIFY(chip.inputs[0] && chip.inputs[1] && chip.outputs[0] && chip.outputs[1]);

        a.board->startDefaultMode();
        int bitA = 0, bitB = 0;
        for (auto [wantA, wantB] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}) {
            if (bitA != wantA) click(a, 24, 10);
            if (bitB != wantB) click(a, 24, 14);
            bitA = wantA;
            bitB = wantB;
            QCOMPARE(swA->data, wantA);
            QCOMPARE(swB->data, wantB);
            QVERIFY(waitFrames(a, 3));
            QCOMPARE(netAt(a, 35, 10)->State, (wantA + wantB) % 2);
            QCOMPARE(netAt(a, 35, 11)->State, (wantA + wantB) / 2);
        }
    }

    void saveFailureIsReportedAndTheICStillOffered() {
        Workspace ws;
        QDir("ics").removeRecursively();
        QFile blocker("ics");  // a plain file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        auto dialogs = std::make_shared<ScriptedDialogs>();
        auto app = startApp(dialogs, true);
        TApp& a = *app;
        place(a, "$swich1", 0, 0);
        place(a, "$logic2|1", 5, 0);
        wire(a, 1, 0, 4, 0);
        wire(a, 6, 0, 8, 0);
        a.OnCommand(23);
        TICTool& t = icTool(a);
        assign(a, *t.leftPlaces[0], false, 2, 0);
        assign(a, *t.rightPlaces[0], true, 8, 0);
        t.txtTitle->setText("Not");
        QTest::mouseClick(t.cmdSave, Qt::LeftButton);
        QVERIFY(!t.lastSaveSucceeded());
        QCOMPARE(dialogs->seriousNotices.size(), 1);
        QVERIFY(dialogs->seriousNotices[0].contains(QString::fromStdString(t.lastSavePath())));
        QCOMPARE(a.katUDIC->item(a.katUDIC->count() - 1)->text(), QString("Not"));
        QCOMPARE(a.board->currentMode, TBoardEngine::modeDevice);
    }

    void placesFollowTheSizeAndTryPlacesWithoutRegistering() {
        Workspace ws;
        auto dialogs = std::make_shared<ScriptedDialogs>();
        auto app = startApp(dialogs, true);
        TApp& a = *app;
        place(a, "$swich1", 0, 0);
        place(a, "$logic2|1", 5, 0);
        wire(a, 1, 0, 4, 0);
        wire(a, 6, 0, 8, 0);
        a.OnCommand(23);
        TICTool& t = icTool(a);
        // A side of length n shows n - 1 places; a hidden place keeps its net.
        t.sldHeight->setValue(6);
        QCOMPARE(t.lblHeight->text(), QString("7"));
        assign(a, *t.leftPlaces[5], false, 2, 0);
        for (int i = 0; i < icPlacesPerSide; ++i) QCOMPARE(t.leftPlaces[i]->panel->isHidden(), i >= 6);
        t.sldHeight->setValue(0);
        for (int i = 0; i < icPlacesPerSide; ++i) QVERIFY(t.leftPlaces[i]->panel->isHidden());
        QVERIFY(t.leftPlaces[5]->state->conWire);
        t.sldWidth->setValue(0);
        for (int i = 0; i < icPlacesPerSide; ++i) QVERIFY(t.topPlaces[i]->panel->isHidden());
        t.sldHeight->setValue(6);
        t.sldWidth->setValue(2);
        assign(a, *t.rightPlaces[2], true, 8, 0);
        QTest::mouseClick(t.rightPlaces[2]->cmdClear, Qt::LeftButton);
        QVERIFY(!t.rightPlaces[2]->state->conWire);
        QVERIFY(!t.rightPlaces[2]->cmdInput->isHidden() && t.rightPlaces[2]->cmdInput->isEnabled());
        assign(a, *t.rightPlaces[2], true, 8, 0);

        // The places are laid out in slices of their strip, captions in theirs.
        QCOMPARE(t.rightPlaces[1]->panel->y(), t.panelRight->height() / 6);
        QCOMPARE(t.rightPlaces[1]->textfield->y(), t.tfPanelRight->height() / 6);

        const size_t registered = draftRegistry().size();
        QTest::mouseClick(t.cmdTry, Qt::LeftButton);
        QCOMPARE(draftRegistry().size(), registered);
        QCOMPARE(a.board->currentMode, TBoardEngine::modeDevice);
        auto tried = std::dynamic_pointer_cast<TLoadedDraft>(a.board->modeDevice_Draft);
        QVERIFY(tried);
        QCOMPARE(tried->dsc->Height, 7);
        QCOMPARE(tried->countInputs(), 1);
        QCOMPARE(tried->countOutputs(), 1);
        // Two generations never share an id, even within one millisecond.
        QVERIFY(t.generateDescription()->id != t.generateDescription()->id);

        // Closing hides the tool; its assignments wait for the next opening.
        t.Window->close();
        QCOMPARE(t.inAction(), 0);
        QVERIFY(t.Window->isHidden());
        a.OnCommand(23);
        QVERIFY(t.leftPlaces[5]->state->conWire);
    }

    void screenshotWithPinsOnAllSides() {
        Workspace ws;
        auto dialogs = std::make_shared<ScriptedDialogs>();
        auto app = startApp(dialogs, true);
        TApp& a = *app;
        for (int k = 0; k < 6; ++k) wire(a, 1, 2 * k + 1, 4, 2 * k + 1);
        QCOMPARE(a.board->wireComplexList.size(), size_t(6));
        a.OnCommand(23);
        TICTool& t = icTool(a);
        t.Window->resize(360, 560);
        t.sldWidth->setValue(3);
        t.sldHeight->setValue(3);
        t.txtTitle->setText("Zaehler-Baustein");
        t.txtDesc->setText("four pins, one per side and more");
        t.txtName->setText("CNT");
        struct Pin {
            int side, i, out, net;
            const char* cap;
        } pins[] = {{icSideLeft, 0, 0, 0, "+"},  {icSideLeft, 2, 0, 1, "-"},  {icSideTop, 1, 0, 2, "R"},
                    {icSideRight, 0, 1, 3, "Q0"}, {icSideRight, 1, 1, 4, "Q1"}, {icSideBottom, 2, 1, 5, "Z"}};
        for (const Pin& p : pins) {
            TConPlace& place = *t.places(p.side)[p.i];
            assign(a, place, p.out != 0, 2, 2 * p.net + 1);
            place.textfield->setText(p.cap);
        }
        dialogs->colors.push_back(QColor(255, 230, 160));
        QTest::mouseClick(t.panelColor, Qt::LeftButton, {}, QPoint(5, 5));
        for (const Pin& p : pins) QVERIFY2(t.places(p.side)[p.i]->state->conWire, p.cap);
        auto d = t.generateDescription();
        QCOMPARE(d->inputWires.size(), size_t(3));
        QCOMPARE(d->outputWires.size(), size_t(3));
        const QString dir = qEnvironmentVariable("GW_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QTest::qWait(100);
            QVERIFY(t.Window->grab().save(dir + "/ictool_all_sides.png"));
        }
    }
};

int main(int argc, char** argv) {
    requestSurfaceFormat();
    QApplication qapp(argc, argv);
    ICToolTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_ictool.moc"
