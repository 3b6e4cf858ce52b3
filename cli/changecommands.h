// `recasor preview` and `recasor change`: the preview and the change run of the windows, with
// the change built from the stored settings as the windows build it. Each returns the exit code.
#pragma once

struct CommandContext;

int CommandPreview(const CommandContext &context);
int CommandChange(const CommandContext &context);
