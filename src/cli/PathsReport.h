#pragma once

#include <QString>

struct AppContext;

// Where the program keeps its settings and history and where it found its languages, sounds and
// help: one "name path" line each, or one JSON object.
QString PathsReport(const AppContext &context, bool json);
