#pragma once
// The application's editor pane, as the shell sees it.

#include "source/shell/ShellEditor.h"

#include <memory>

std::unique_ptr<ShellEditor> makeApplicationEditor();
