#include "app/CaptionTool.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "app/AppDialogs.h"
#include "app/ICToolWidgets.h"
#include "app/Texts.h"

namespace gw {

std::unique_ptr<TCaptionTool> TCaptionTool::Create(QWidget* parent, const std::shared_ptr<TBoardEngine>& board) {
    std::unique_ptr<TCaptionTool> t(new TCaptionTool());
    t->generate(parent, board);
    return t;
}

TCaptionTool::~TCaptionTool() { Destroy(); }

void TCaptionTool::generate(QWidget* parent, const std::shared_ptr<TBoardEngine>& b) {
    Parent = parent;
    board = b;
    Window = new ToolWindow(parent);
    Window->setObjectName("captionTool");
    Window->setWindowTitle(loc("{{ct_windowname}}"));
    Window->setMinimumSize(100, 180);
    centreToolWindow(Window, parent, 200, 200);
    Window->onClose = [this] { Close(); };
    Window->onResize = [this] { layout(); };

    lblText_ = new QLabel(loc("{{ct_text}}"), Window);
    tftCaption = new QLineEdit(Window);
    lblSize_ = new QLabel(loc("{{ct_size}}"), Window);
    sizeSlider = new QSlider(Qt::Horizontal, Window);
    sizeSlider->setRange(0, 2);
    sizeSlider->setTickPosition(QSlider::TicksBelow);
    sizeSlider->setPageStep(1);
    sizeLbl = new QLabel(Window);
    sizeLbl->setAlignment(Qt::AlignCenter);
    cbShadow = new QCheckBox(loc("{{ct_shadow}}"), Window);
    lblColor_ = new QLabel(loc("{{ct_color}}"), Window);
    panelColor = new ColorPanel(Window);
    panelColor->setColor(0, 0, 0);
    layout();

    QObject::connect(tftCaption, &QLineEdit::textChanged, Window, [this](const QString& t) {
        if (!currentCaption) return;
        currentCaption->txt = t.toStdString();
        changed();
    });
    QObject::connect(sizeSlider, &QSlider::valueChanged, Window, [this] {
        if (!currentCaption) return;
        updateSizeLbl();
        changed();
    });
    QObject::connect(cbShadow, &QCheckBox::toggled, Window, [this](bool on) {
        if (!currentCaption) return;
        currentCaption->bShadow = on ? 1 : 0;
        changed();
    });
    panelColor->onPress = [this] { chooseColor(); };
    Window->hide();
}

void TCaptionTool::layout() {
    const int cw = Window->width(), ch = Window->height();
    lblText_->setGeometry(0, 2, cw, 18);
    tftCaption->setGeometry(0, 20, cw, 20);
    lblSize_->setGeometry(0, 42, cw, 18);
    sizeSlider->setGeometry(0, 60, std::max(0, cw - 40), 20);
    sizeLbl->setGeometry(cw - 40, 61, 40, 18);
    cbShadow->setGeometry(0, 80, cw, 20);
    lblColor_->setGeometry(0, 102, cw, 18);
    panelColor->setGeometry(0, 120, cw, std::max(0, ch - 120));
}

QWidget* TCaptionTool::toolWindow() { return Window; }

void TCaptionTool::setBoard(const std::shared_ptr<TBoardEngine>& b) {
    board = b;
    if (currentCaption && b &&
        std::find(b->captionList.begin(), b->captionList.end(), currentCaption) == b->captionList.end())
        Close();
}

void TCaptionTool::changed() {
    // A caption is not part of the circuit: the document changed, the simulation did not.
    if (board) board->markChanged();
}

void TCaptionTool::Start(const CaptionPtr& caption) {
    if (!caption) return;
    if (caption == currentCaption && caption->isValid == 0) {
        Close();
        return;
    }
    if (caption->isValid == 0) return;
    currentCaption = caption;
    {
        // Filling the gadgets is not an edit: nothing may reach the caption or the changed flag.
        const QSignalBlocker b1(tftCaption), b2(sizeSlider), b3(cbShadow);
        tftCaption->setText(QString::fromStdString(caption->txt));
        sizeSlider->setValue(caption->Size >= 0 && caption->Size <= 2 ? caption->Size : 1);
        cbShadow->setChecked(caption->bShadow == 1);
    }
    // A Size outside 0..2 shows as, and becomes, the middle size, as drawing would make it.
    updateSizeLbl();
    panelColor->setColor(caption->colR, caption->colG, caption->colB);
    Window->show();
    Window->raise();
}

void TCaptionTool::updateSizeLbl() {
    if (!currentCaption) return;
    switch (sizeSlider->value()) {
        case 0:
            sizeLbl->setText(loc("{{ct_small}}"));
            currentCaption->Size = 0;
            break;
        case 2:
            sizeLbl->setText(loc("{{ct_big}}"));
            currentCaption->Size = 2;
            break;
        default:
            sizeLbl->setText(loc("{{ct_middle}}"));
            currentCaption->Size = 1;
            break;
    }
}

void TCaptionTool::chooseColor() {
    if (!currentCaption) return;
    int r = currentCaption->colR, g = currentCaption->colG, b = currentCaption->colB;
    static QtDialogs platform;
    AppDialogs& d = dialogs ? *dialogs : static_cast<AppDialogs&>(platform);
    if (!d.pickColor(Window, r, g, b)) return;
    currentCaption->colR = r;
    currentCaption->colG = g;
    currentCaption->colB = b;
    panelColor->setColor(r, g, b);
    changed();
}

void TCaptionTool::updateForLanguage() {
    if (!Window) return;
    Window->setWindowTitle(loc("{{ct_windowname}}"));
    lblText_->setText(loc("{{ct_text}}"));
    lblSize_->setText(loc("{{ct_size}}"));
    cbShadow->setText(loc("{{ct_shadow}}"));
    lblColor_->setText(loc("{{ct_color}}"));
    updateSizeLbl();
}

void TCaptionTool::Close() {
    currentCaption.reset();
    if (Window) Window->hide();
}

void TCaptionTool::Destroy() {
    currentCaption.reset();
    delete Window;
    Window = nullptr;
    board.reset();
}

std::unique_ptr<CaptionToolHook> createCaptionTool(QWidget* parent, const std::shared_ptr<TBoardEngine>& board) {
    return TCaptionTool::Create(parent, board);
}

}  // namespace gw
