// Engine initialisation, the loading sequence, and the loading section that
// shows its progress.
#pragma once

// The line of 60 "=" that frames the debug banners on standard output.
extern const char *const bannerLine;

// Window, event queue, sound, network, time, loading, font, timer.
void initEngine();

// Preloads every type and loads every section of the played range while the
// loading section shows the progress.
void loadDemo();

// Operations of the loading section type.
void loadingLoad();
void loadingExec();
