#include "app/ICTool.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <set>

#include "app/App.h"
#include "app/AppDialogs.h"
#include "app/ICToolWidgets.h"
#include "app/Texts.h"

namespace gw {

namespace {

// The places alive now: the board's IC mode may call back after its place is gone.
std::set<const void*>& livePlaces() {
    static std::set<const void*> places;
    return places;
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// --- TConPlace ---

TConPlace::TConPlace(TICTool* tool, QWidget* parent, int x, int y, int w, int h, QLineEdit* field, ICPlace* st)
    : ic(tool), Parent(parent), textfield(field), state(st) {
    livePlaces().insert(this);
    panel = new QWidget(parent);
    panel->setGeometry(x, y, w, h);
    cmdInput = new QPushButton("I", panel);
    cmdInput->setToolTip(QString::fromUtf8("Kabel als Eingang festlegen"));
    cmdOutput = new QPushButton("O", panel);
    cmdOutput->setToolTip(QString::fromUtf8("Kabel als Ausgang festlegen"));
    cmdClear = new QPushButton("C", panel);
    cmdClear->setToolTip(QString::fromUtf8("Festlegung zurücknehmen"));
    for (QPushButton* b : {cmdInput, cmdOutput, cmdClear}) b->setFocusPolicy(Qt::NoFocus);
    layoutButtons();
    QObject::connect(cmdInput, &QPushButton::clicked, panel, [this] { pickInput(); });
    QObject::connect(cmdOutput, &QPushButton::clicked, panel, [this] { pickOutput(); });
    QObject::connect(cmdClear, &QPushButton::clicked, panel, [this] { clear(); });
    QObject::connect(textfield, &QLineEdit::textChanged, panel,
                     [this](const QString& t) { state->caption = t.toStdString(); });
    updateGadgets();
}

TConPlace::~TConPlace() { livePlaces().erase(this); }

void TConPlace::layoutButtons() {
    const int pw = panel->width(), ph = panel->height();
    cmdInput->setGeometry(0, 0, pw / 2, ph / 2);
    cmdOutput->setGeometry(0, ph / 2, pw / 2, ph / 2);
    cmdClear->setGeometry(pw / 2, 0, pw / 2, ph);
}

void TConPlace::SHOW() {
    panel->show();
    textfield->show();
}

void TConPlace::HIDE() {
    panel->hide();
    textfield->hide();
}

void TConPlace::verticalAdjust(int w, int h, int th, int i, int n) {
    panel->setGeometry(0, h * i / n, w, h / n);
    layoutButtons();
    textfield->setGeometry(textfield->x(), th * i / n, textfield->width(), th / n);
}

void TConPlace::horizontalAdjust(int w, int h, int tw, int i, int n) {
    panel->setGeometry(w * i / n, 0, w / n, h);
    layoutButtons();
    textfield->setGeometry(tw * i / n, textfield->y(), tw / n, textfield->height());
}

void TConPlace::setInputCallback(const WirePtr& net) {
    state->conWire = net;
    state->conTypeOutput = 0;
    updateGadgets();
}

void TConPlace::setOutputCallback(const WirePtr& net) {
    state->conWire = net;
    state->conTypeOutput = 1;
    updateGadgets();
}

void TConPlace::updateGadgets() {
    const bool assigned = state->conWire != nullptr;
    const bool output = assigned && state->conTypeOutput != 0;
    cmdInput->setVisible(!output);
    cmdInput->setEnabled(!assigned);
    cmdOutput->setVisible(!assigned || output);
    cmdOutput->setEnabled(!assigned);
    cmdClear->setVisible(assigned);
    textfield->setEnabled(assigned);
}

void TConPlace::pickInput() {
    if (ic->board) ic->board->startICMode(0, &TConPlace::connectCallback, this);
}

void TConPlace::pickOutput() {
    if (ic->board) ic->board->startICMode(1, &TConPlace::connectCallback, this);
}

void TConPlace::clear() {
    state->conWire.reset();
    updateGadgets();
}

int TConPlace::connectCallback(int typeOutput, const WirePtr& net, void* context) {
    if (!livePlaces().count(context)) return 0;
    auto* place = static_cast<TConPlace*>(context);
    if (typeOutput != 0)
        place->setOutputCallback(net);
    else
        place->setInputCallback(net);
    return 1;
}

// --- TICTool ---

std::unique_ptr<TICTool> TICTool::Create(QWidget* parent, TApp* app, const std::shared_ptr<TBoardEngine>& board) {
    std::unique_ptr<TICTool> t(new TICTool());
    t->generate(parent, app, board);
    return t;
}

TICTool::~TICTool() { Destroy(); }

QLabel* TICTool::label(QWidget* parent, const char* token) {
    auto* l = new QLabel(loc(token), parent);
    labels_.emplace_back(l, token);
    return l;
}

void TICTool::generate(QWidget* parent, TApp* a, const std::shared_ptr<TBoardEngine>& b) {
    Parent = parent;
    app = a;
    board = b;

    Window = new ToolWindow(parent);
    Window->setObjectName("icTool");
    Window->setWindowTitle(loc("{{ic_windowname}}"));
    Window->setMinimumSize(275, 455);
    centreToolWindow(Window, parent, 280, 490);
    Window->onClose = [this] { Close(); };
    Window->onResize = [this] {
        layout();
        rebuild();
    };

    lblTitle_ = label(Window, "{{ic_title}}");
    txtTitle = new QLineEdit(Window);
    lblDesc_ = label(Window, "{{ic_description}}");
    txtDesc = new QLineEdit(Window);
    lblW_ = label(Window, "{{ic_width}}");
    sldWidth = new QSlider(Qt::Horizontal, Window);
    lblWidth = new QLabel("3", Window);
    lblH_ = label(Window, "{{ic_height}}");
    sldHeight = new QSlider(Qt::Horizontal, Window);
    lblHeight = new QLabel("3", Window);
    for (QSlider* s : {sldWidth, sldHeight}) {
        s->setRange(0, icMaxSize - 1);
        s->setValue(2);
        QObject::connect(s, &QSlider::valueChanged, Window, [this] { rebuild(); });
    }
    for (QLabel* l : {lblWidth, lblHeight}) l->setAlignment(Qt::AlignCenter);
    lblColor_ = label(Window, "{{ic_color}}");
    panelColor = new ColorPanel(Window);
    panelColor->onPress = [this] { chooseColor(); };
    lblConnections_ = label(Window, "{{ic_connections}}");
    table = new QWidget(Window);
    cmdTry = new QPushButton(loc("{{ic_try}}"), Window);
    cmdSave = new QPushButton(loc("{{ic_save}}"), Window);
    QObject::connect(cmdTry, &QPushButton::clicked, Window, [this] { tryIC(); });
    QObject::connect(cmdSave, &QPushButton::clicked, Window, [this] { saveIC(); });

    icPanel = new QFrame(table);
    static_cast<QFrame*>(icPanel)->setFrameStyle(QFrame::Box | QFrame::Plain);
    icPanel->setAutoFillBackground(true);
    txtName = new QLineEdit(icPanel);
    txtName->setAlignment(Qt::AlignCenter);
    tfPanelRight = new QWidget(icPanel);
    tfPanelBottom = new QWidget(icPanel);
    tfPanelLeft = new QWidget(icPanel);
    tfPanelTop = new QWidget(icPanel);
    panelRight = new QWidget(table);
    panelBottom = new QWidget(table);
    panelLeft = new QWidget(table);
    panelTop = new QWidget(table);

    layout();
    QWidget* strips[4] = {panelRight, panelBottom, panelLeft, panelTop};
    QWidget* capStrips[4] = {tfPanelRight, tfPanelBottom, tfPanelLeft, tfPanelTop};
    for (int side = 0; side < 4; ++side) {
        const bool vertical = side == icSideRight || side == icSideLeft;
        for (int i = 0; i < icPlacesPerSide; ++i) {
            auto* field = new QLineEdit(capStrips[side]);
            field->setAlignment(Qt::AlignCenter);
            if (vertical)
                field->setGeometry(0, 0, capStrips[side]->width(), 20);
            else
                field->setGeometry(0, 0, 20, capStrips[side]->height());
            places(side).push_back(
                std::make_unique<TConPlace>(this, strips[side], 0, 0, 40, 40, field, &form_.place(side, i)));
        }
    }
    rebuild();
    Window->hide();
}

void TICTool::layout() {
    const int W = Window->width(), H = Window->height();
    lblTitle_->setGeometry(0, 2, W, 18);
    txtTitle->setGeometry(0, 20, W, 20);
    lblDesc_->setGeometry(0, 42, W, 18);
    txtDesc->setGeometry(0, 60, W, 20);
    lblW_->setGeometry(0, 82, W, 18);
    sldWidth->setGeometry(0, 100, W - 20, 20);
    lblWidth->setGeometry(W - 20, 100, 20, 20);
    lblH_->setGeometry(0, 122, W, 18);
    sldHeight->setGeometry(0, 140, W - 20, 20);
    lblHeight->setGeometry(W - 20, 140, 20, 20);
    lblColor_->setGeometry(0, 162, W, 18);
    panelColor->setGeometry(0, 180, W, 20);
    lblConnections_->setGeometry(0, 202, W, 18);
    table->setGeometry(0, 220, W, std::max(0, H - 250));
    cmdTry->setGeometry(0, H - 30, W / 2, 30);
    cmdSave->setGeometry(W / 2, H - 30, W - W / 2, 30);

    const int I = table->width(), J = table->height();
    const int x = I / 4, y = J / 4, w = I / 2, h = J / 2;
    icPanel->setGeometry(x, y, w, h);
    const int cw = icPanel->width(), ch = icPanel->height();
    txtName->setGeometry(40, J / 4 - 10, std::max(0, cw - 80), 20);
    tfPanelRight->setGeometry(cw - 40, 20, 40, std::max(0, ch - 40));
    tfPanelBottom->setGeometry(20, ch - 20, std::max(0, cw - 40), 20);
    tfPanelLeft->setGeometry(0, 20, 40, std::max(0, ch - 40));
    tfPanelTop->setGeometry(20, 0, std::max(0, cw - 40), 20);
    panelRight->setGeometry(x + w, y + 20, I - x - w, std::max(0, h - 40));
    panelBottom->setGeometry(x + 20, y + h, std::max(0, w - 40), J - y - h);
    panelLeft->setGeometry(0, y + 20, x, std::max(0, h - 40));
    panelTop->setGeometry(x + 20, 0, std::max(0, w - 40), y);
    // Caption fields keep their cross-axis extent equal to their strip's.
    for (auto& p : rightPlaces) p->textfield->setGeometry(0, p->textfield->y(), 40, p->textfield->height());
    for (auto& p : leftPlaces) p->textfield->setGeometry(0, p->textfield->y(), 40, p->textfield->height());
    for (auto& p : bottomPlaces) p->textfield->setGeometry(p->textfield->x(), 0, p->textfield->width(), 20);
    for (auto& p : topPlaces) p->textfield->setGeometry(p->textfield->x(), 0, p->textfield->width(), 20);
}

std::vector<std::unique_ptr<TConPlace>>& TICTool::places(int side) {
    switch (side) {
        case icSideRight: return rightPlaces;
        case icSideBottom: return bottomPlaces;
        case icSideLeft: return leftPlaces;
        default: return topPlaces;
    }
}

QWidget* TICTool::toolWindow() { return Window; }

int TICTool::getWidth() const { return sldWidth ? sldWidth->value() + 1 : 3; }
int TICTool::getHeight() const { return sldHeight ? sldHeight->value() + 1 : 3; }

void TICTool::rebuild() {
    if (!Window || rightPlaces.size() < icPlacesPerSide) return;
    const int w = getWidth(), h = getHeight();
    lblWidth->setText(QString::number(w));
    lblHeight->setText(QString::number(h));
    for (int side = 0; side < 4; ++side) {
        const bool vertical = side == icSideRight || side == icSideLeft;
        const int n = vertical ? h : w;
        QWidget* strip = vertical ? (side == icSideRight ? panelRight : panelLeft)
                                  : (side == icSideBottom ? panelBottom : panelTop);
        QWidget* capStrip = vertical ? (side == icSideRight ? tfPanelRight : tfPanelLeft)
                                     : (side == icSideBottom ? tfPanelBottom : tfPanelTop);
        for (int i = 0; i < icPlacesPerSide; ++i) {
            TConPlace& p = *places(side)[i];
            if (n > 1) {
                if (vertical)
                    p.verticalAdjust(strip->width(), strip->height(), capStrip->height(), i, n - 1);
                else
                    p.horizontalAdjust(strip->width(), strip->height(), capStrip->width(), i, n - 1);
            }
            if (i < n - 1)
                p.SHOW();
            else
                p.HIDE();
            p.updateGadgets();
        }
    }
}

void TICTool::updateForLanguage() {
    if (!Window) return;
    Window->setWindowTitle(loc("{{ic_windowname}}"));
    for (auto& [l, token] : labels_) l->setText(loc(token));
    cmdTry->setText(loc("{{ic_try}}"));
    cmdSave->setText(loc("{{ic_save}}"));
}

void TICTool::Start() {
    if (!Window) return;
    Window->show();
    Window->raise();
    Active = 1;
}

void TICTool::Close() {
    if (Window) Window->hide();
    Active = 0;
}

void TICTool::Destroy() {
    rightPlaces.clear();
    bottomPlaces.clear();
    leftPlaces.clear();
    topPlaces.clear();
    delete Window;
    Window = nullptr;
    board.reset();
    Active = 0;
}

ICDescriptionPtr TICTool::generateDescription() {
    form_.Name = txtTitle->text().toStdString();
    form_.info = txtDesc->text().toStdString();
    form_.cap = txtName->text().toStdString();
    form_.width = getWidth();
    form_.Height = getHeight();
    form_.colR = colR;
    form_.colG = colG;
    form_.colB = colB;
    report_ = {};
    static const std::vector<DevicePtr> none;
    ICDescriptionPtr d = gw::generateDescription(form_, board ? board->deviceList : none, &report_);
    for (const auto& [side, i] : report_.clearedPlaces) places(side)[i]->updateGadgets();
    return d;
}

AppDialogs& TICTool::dlg() {
    if (dialogs) return *dialogs;
    if (app) return app->dialogs();
    static QtDialogs platform;
    return platform;
}

void TICTool::tellAboutLinks() {
    if (report_.unmerged.empty()) return;
    QString text;
    for (const std::string& s : report_.unmerged) text += qs(s) + "\n";
    dlg().notice(Window, text.trimmed(), false);
}

void TICTool::tryIC() {
    if (!Active) return;
    ICDescriptionPtr d = generateDescription();
    tellAboutLinks();
    if (board) board->startDeviceMode(TLoadedDraft::Create(d));
}

DraftPtr TICTool::saveIC() {
    if (!Active) return nullptr;
    ICDescriptionPtr d = generateDescription();
    std::string error;
    lastSaveOk_ = saveICToFolder(*d, icFolder, &lastSavePath_, &error) != 0;
    if (!lastSaveOk_) {
        QString text = qs("Beim Speichern von " + lastSavePath_ +
                          " ist ein Fehler aufgetreten. Die Datei konnte nicht gespeichert werden!");
        if (!error.empty()) text += "\n\n" + qs(error);
        dlg().notice(Window, text, true);
    }
    tellAboutLinks();
    DraftPtr draft = app ? app->_addUDIC(d, 0) : nullptr;
    if (draft && board) board->startDeviceMode(draft);
    return draft;
}

void TICTool::chooseColor() {
    if (!Active) return;
    int r = colR, g = colG, b = colB;
    if (!dlg().pickColor(Window, r, g, b)) return;
    colR = r;
    colG = g;
    colB = b;
    panelColor->setColor(r, g, b);
}

// --- the application's hook ---

std::unique_ptr<ICToolHook> createICTool(QWidget* parent, TApp& app, const std::shared_ptr<TBoardEngine>& board) {
    return TICTool::Create(parent, &app, board);
}

}  // namespace gw
