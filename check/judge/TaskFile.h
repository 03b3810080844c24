// A scheduled task's file under System32\Tasks: the program its action starts, and when.
#pragma once
#include "judge/CommandLine.h"

#include <string>

// From the task's XML (UTF-16 as Windows writes it, or UTF-8): false when it starts no program.
bool TaskLaunch(const std::string &content, Launch *launch);
