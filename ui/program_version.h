#pragma once
// The program's version: four numbers, most significant first, joined by ".".

#include <QString>

QString ProgramVersionText();
