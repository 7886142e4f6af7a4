#include "app/EditorAdapter.h"

std::unique_ptr<ShellEditor> makeApplicationEditor() { return nullptr; }
