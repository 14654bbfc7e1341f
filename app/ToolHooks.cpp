// The tools behind the hooks of ToolHooks.h are built in app/ICTool.cpp (createICTool) and
// app/CaptionTool.cpp (createCaptionTool).
#include "app/ToolHooks.h"
