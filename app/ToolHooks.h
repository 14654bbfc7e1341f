// The two tool windows the application hosts beside the palette: the IC definition tool and the
// caption tool. The application only needs what is declared here; the tools themselves live in
// app/ICTool* and app/CaptionTool*, which provide createICTool / createCaptionTool. Until a tool
// is built, ToolHooks.cpp supplies an inert placeholder window of that name that does nothing.
#pragma once

#include <memory>

#include "board/BoardEngine.h"

class QWidget;

namespace gw {

class TApp;

class AppTool {
public:
    virtual ~AppTool() = default;
    // The tool's window (hidden at first); its opacity follows the translucency option.
    virtual QWidget* toolWindow() = 0;
    // Every new current board is handed to the tool, which then works on it and marks it changed.
    virtual void setBoard(const std::shared_ptr<TBoardEngine>& board) = 0;
    virtual void updateForLanguage() {}
    // Frees the window; the tool is not used afterwards.
    virtual void Destroy() = 0;
};

// The IC definition tool: turns the current board into a new device type.
class ICToolHook : public AppTool {
public:
    // Opens the tool on the current board (the "{{wmt_ic}}" command).
    virtual void Start() = 0;
};

// The caption editor.
class CaptionToolHook : public AppTool {
public:
    // Begins editing `caption`, or closes the tool when it is the caption being edited and it was
    // just removed (isValid 0).
    virtual void Start(const CaptionPtr& caption) = 0;
    virtual void Close() = 0;
};

std::unique_ptr<ICToolHook> createICTool(QWidget* parent, TApp& app, const std::shared_ptr<TBoardEngine>& board);
std::unique_ptr<CaptionToolHook> createCaptionTool(QWidget* parent, const std::shared_ptr<TBoardEngine>& board);

}  // namespace gw
