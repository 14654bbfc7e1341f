// Placeholders for the IC tool and the caption tool until they are built: a hidden window each, so
// that the application's start-up, board hand-over and translucency work the same with or without
// them. Replace a function here by the real tool's (and drop it from this file) when it lands.
#include "app/ToolHooks.h"

#include <QWidget>

namespace gw {

namespace {

template <class Base>
class PlaceholderTool : public Base {
public:
    PlaceholderTool(QWidget* parent, const char* name) : window_(new QWidget(parent, Qt::Tool)) {
        window_->setObjectName(name);
        window_->hide();
    }
    ~PlaceholderTool() override { PlaceholderTool::Destroy(); }
    QWidget* toolWindow() override { return window_; }
    void setBoard(const std::shared_ptr<TBoardEngine>& b) override { board_ = b; }
    void Destroy() override {
        delete window_;
        window_ = nullptr;
        board_.reset();
    }

protected:
    QWidget* window_;
    std::shared_ptr<TBoardEngine> board_;
};

class PlaceholderICTool : public PlaceholderTool<ICToolHook> {
public:
    using PlaceholderTool::PlaceholderTool;
    void Start() override {}
};

class PlaceholderCaptionTool : public PlaceholderTool<CaptionToolHook> {
public:
    using PlaceholderTool::PlaceholderTool;
    void Start(const CaptionPtr&) override {}
    void Close() override {}
};

}  // namespace

std::unique_ptr<ICToolHook> createICTool(QWidget* parent, TApp&, const std::shared_ptr<TBoardEngine>& board) {
    auto t = std::make_unique<PlaceholderICTool>(parent, "icTool");
    t->setBoard(board);
    return t;
}

std::unique_ptr<CaptionToolHook> createCaptionTool(QWidget* parent, const std::shared_ptr<TBoardEngine>& board) {
    auto t = std::make_unique<PlaceholderCaptionTool>(parent, "captionTool");
    t->setBoard(board);
    return t;
}

}  // namespace gw
