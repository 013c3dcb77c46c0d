// The about box: dialog 1 of the module, run modally until the user closes it.
#pragma once

// Shows nothing and reports nothing when the dialog cannot be created.
void ShowAboutBox();
