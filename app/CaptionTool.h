// TCaptionTool: the small window in which the user edits the caption the board hands over (a new
// caption, or one clicked in caption mode): its text, size, shadow and colour. Every edit goes into
// the caption at once, so the board shows it with the next frame, and marks the board changed.
//
// The tool holds the caption by shared_ptr; when the board removes it (isValid 0) and tells the tool
// through Start, the tool closes. When another board becomes current, a caption that is not on it is
// let go, so edits never go to a caption of a board that is gone while marking the new one changed.
#pragma once

#include <memory>

#include "app/ToolHooks.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QWidget;

namespace gw {

class AppDialogs;
class ColorPanel;
class ToolWindow;

class TCaptionTool : public CaptionToolHook {
public:
    QWidget* Parent = nullptr;
    std::shared_ptr<TBoardEngine> board;
    ToolWindow* Window = nullptr;
    QLineEdit* tftCaption = nullptr;
    QSlider* sizeSlider = nullptr;
    QLabel* sizeLbl = nullptr;
    QCheckBox* cbShadow = nullptr;
    ColorPanel* panelColor = nullptr;
    CaptionPtr currentCaption;

    // The colour picker; null: the platform's.
    std::shared_ptr<AppDialogs> dialogs;

    static std::unique_ptr<TCaptionTool> Create(QWidget* parent, const std::shared_ptr<TBoardEngine>& board);
    ~TCaptionTool() override;
    TCaptionTool(const TCaptionTool&) = delete;
    TCaptionTool& operator=(const TCaptionTool&) = delete;

    // --- CaptionToolHook ---
    QWidget* toolWindow() override;
    void setBoard(const std::shared_ptr<TBoardEngine>& b) override;
    void updateForLanguage() override;
    void Destroy() override;
    void Start(const CaptionPtr& caption) override;
    void Close() override;

    // Reads the slider into the caption and the size label.
    void updateSizeLbl();
    // The colour panel was pressed.
    void chooseColor();

private:
    TCaptionTool() = default;
    void generate(QWidget* parent, const std::shared_ptr<TBoardEngine>& board);
    void layout();
    void changed();

    QLabel* lblText_ = nullptr;
    QLabel* lblSize_ = nullptr;
    QLabel* lblColor_ = nullptr;
};

}  // namespace gw
