#include "app/DraftTool.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Texts.h"
#include "model/Registry.h"

namespace gw {

namespace {

constexpr int kIconPayload = Qt::UserRole + 1;  // a category list's icon index, as decimal text

DraftPtr rowDraft(const QListWidgetItem* item) {
    return item ? item->data(Qt::UserRole).value<DraftPtr>() : DraftPtr();
}

// The palette window: a close request (close box or Esc) ends a run with no result.
class PaletteWindow : public QDialog {
public:
    explicit PaletteWindow(QWidget* parent) : QDialog(parent, Qt::Tool) {}
};

}  // namespace

std::unique_ptr<TDraftTool> TDraftTool::Create(QWidget* parent, TApp* app, const std::string& katsPath) {
    auto t = std::unique_ptr<TDraftTool>(new TDraftTool);
    t->Parent = parent;
    t->app = app;

    t->Window = new PaletteWindow(parent);
    t->Window->setObjectName("palette");
    t->Window->setWindowTitle(loc("{{dt_windowname}}"));
    t->Window->setMinimumSize(400, 250);
    t->Window->resize(600, 500);
    if (QScreen* s = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect a = s->availableGeometry();
        t->Window->move(a.x() + (a.width() - 600) / 2, a.y() + (a.height() - 500) / 2);
    }
    t->Window->hide();

    auto* outer = new QVBoxLayout(t->Window);
    outer->setContentsMargins(0, 0, 0, 0);
    t->splitter = new QSplitter(Qt::Horizontal, t->Window);
    t->splitter->setHandleWidth(10);
    t->splitter->setChildrenCollapsible(false);
    outer->addWidget(t->splitter);

    // Category icons: square cells as wide as the strip is high.
    QImage strip(QString::fromStdString(katsPath));
    if (!strip.isNull() && strip.height() > 0) {
        const int cell = strip.height();
        for (int x = 0; x + cell <= strip.width(); x += cell)
            t->katIcons.emplace_back(QPixmap::fromImage(strip.copy(x, 0, cell, cell)));
    }

    t->kindBox = new QListWidget(t->splitter);
    t->kindBox->setObjectName("kindBox");
    t->kindBox->setIconSize(QSize(24, 24));

    auto* right = new QWidget(t->splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    t->listHolder_ = new QWidget(right);
    auto* holderLayout = new QVBoxLayout(t->listHolder_);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(t->listHolder_, 1);

    t->splitter->addWidget(t->kindBox);
    t->splitter->addWidget(right);
    if (QSplitterHandle* h = t->splitter->handle(1)) h->setToolTip(loc("{{dt_splitter}}"));
    const int cw = 600;
    const int rightW = static_cast<int>(0.66 * cw);
    t->splitter->setSizes({cw - rightW - 10, rightW});

    t->itemAll = t->addKind("{{kat_all}}", "{{kat_all_dsc}}", 0);

    t->cmdUse = new QPushButton(loc("{{dt_use}}"), right);
    t->cmdUse->setObjectName("cmdUse");
    t->cmdUse->setDefault(true);
    t->cmdUse->setFixedHeight(40);
    rightLayout->addWidget(t->cmdUse);

    TDraftTool* self = t.get();
    QObject::connect(t->kindBox, &QListWidget::currentRowChanged, self, [self](int) {
        self->SelectItem(-1);
        self->updateUseButton();
    });
    QObject::connect(t->cmdUse, &QPushButton::clicked, self, [self] { self->finish(self->getCurrentObject()); });
    QObject::connect(t->Window, &QDialog::rejected, self, [self] { self->finish(nullptr); });
    return t;
}

TDraftTool::~TDraftTool() { Destroy(); }

QIcon TDraftTool::iconAt(int index) const {
    return index >= 0 && index < static_cast<int>(katIcons.size()) ? katIcons[index] : QIcon();
}

QListWidget* TDraftTool::addKind(const std::string& name, const std::string& tip, int icon) {
    auto* box = new QListWidget(listHolder_);
    box->setObjectName(QString("kind%1").arg(kindNames.size()));
    box->setIconSize(QSize(24, 24));
    box->setProperty("payload", QString::number(icon));
    box->hide();
    listHolder_->layout()->addWidget(box);

    kindNames.push_back(name);
    kindTips.push_back(tip);

    auto* row = new QListWidgetItem(iconAt(icon), loc(name));
    row->setToolTip(loc(tip));
    row->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(box)));
    kindBox->addItem(row);

    // A double click or Enter on a device row takes it; a plain selection only enables the button.
    connect(box, &QListWidget::itemActivated, this, [this, box](QListWidgetItem*) {
        if (box == currentBox) finish(getCurrentObject());
    });
    connect(box, &QListWidget::itemSelectionChanged, this, [this] { updateUseButton(); });
    return box;
}

void TDraftTool::addDraft(const std::string& name, const std::string& desc, int icon, QListWidget* box,
                          const DraftPtr& draft, int resort) {
    if (!box) return;
    if (icon == -2) icon = box->property("payload").toString().toInt();  // no payload reads as 0
    if (draft) registerDraft(draft);  // an empty identifier is not registered (Registry)
    for (QListWidget* target : {box, itemAll}) {
        auto* row = new QListWidgetItem(iconAt(icon), QString::fromStdString(name));
        row->setToolTip(QString::fromStdString(desc));
        row->setData(Qt::UserRole, QVariant::fromValue(draft));
        row->setData(kIconPayload, icon);
        target->addItem(row);
        if (box == itemAll) break;
    }
    SelectItem(0);
    if (resort == 1) rebuild();
}

void TDraftTool::rebuild() {
    std::vector<QListWidgetItem*> rows;
    while (itemAll->count() > 0) rows.push_back(itemAll->takeItem(0));
    // Ordinal comparison of the UTF-8 bytes: the same order as comparing code points, independent
    // of the locale and of letter case rules.
    std::stable_sort(rows.begin(), rows.end(), [](QListWidgetItem* a, QListWidgetItem* b) {
        return a->text().toStdString() < b->text().toStdString();
    });
    for (QListWidgetItem* r : rows) itemAll->addItem(r);
}

DraftPtr TDraftTool::getDraft(const std::string& id) { return gw::getDraft(id); }

std::vector<QListWidget*> TDraftTool::categoryBoxes() const {
    std::vector<QListWidget*> v;
    for (int i = 0; i < kindBox->count(); ++i)
        v.push_back(reinterpret_cast<QListWidget*>(kindBox->item(i)->data(Qt::UserRole).value<quintptr>()));
    return v;
}

DraftPtr TDraftTool::getCurrentObject() const {
    QListWidgetItem* kind = kindBox->currentItem();
    if (!kind || !kind->isSelected()) return nullptr;
    auto* box = reinterpret_cast<QListWidget*>(kind->data(Qt::UserRole).value<quintptr>());
    if (!box) return nullptr;
    QListWidgetItem* row = box->currentItem();
    if (!row || !row->isSelected()) return nullptr;
    return rowDraft(row);
}

void TDraftTool::SelectItem(int i) {
    if (i >= 0 && i < kindBox->count()) {
        QSignalBlocker block(kindBox);
        kindBox->setCurrentRow(i);
    }
    QListWidgetItem* kind = kindBox->currentItem();
    if (!kind) return;
    showDraftBox(reinterpret_cast<QListWidget*>(kind->data(Qt::UserRole).value<quintptr>()));
}

void TDraftTool::showDraftBox(QListWidget* box) {
    for (QListWidget* b : categoryBoxes()) b->setVisible(b == box);
    currentBox = box;
}

void TDraftTool::updateForLanguage() {
    for (int i = 0; i < kindBox->count() && i < static_cast<int>(kindNames.size()); ++i) {
        kindBox->item(i)->setText(loc(kindNames[i]));
        kindBox->item(i)->setToolTip(loc(kindTips[i]));
    }
    Window->setWindowTitle(loc("{{dt_windowname}}"));
    cmdUse->setText(loc("{{dt_use}}"));
    if (QSplitterHandle* h = splitter->handle(1)) h->setToolTip(loc("{{dt_splitter}}"));
}

void TDraftTool::updateUseButton() {
    if (cmdUse) cmdUse->setEnabled(getCurrentObject() != nullptr);
}

void TDraftTool::finish(DraftPtr result) {
    if (!running_ || finished_) return;
    finished_ = true;
    result_ = std::move(result);
    Window->done(result_ ? QDialog::Accepted : QDialog::Rejected);
}

DraftPtr TDraftTool::run() {
    if (running_) return nullptr;  // never nested
    running_ = true;
    finished_ = false;
    result_.reset();
    updateUseButton();
    // The window is application-modal while it runs, so the main window takes no input; timers
    // still fire in the nested loop, so the board keeps running.
    Window->setWindowModality(Qt::ApplicationModal);
    Window->exec();
    if (!finished_) result_.reset();  // closed by other means
    running_ = false;
    Window->hide();
    DraftPtr r = std::move(result_);
    result_.reset();
    return r;
}

void TDraftTool::Destroy() {
    if (Window) {
        Window->hide();
        delete Window;
        Window = nullptr;
    }
}

}  // namespace gw
