#pragma once
// The about dialog: program name, version and the notice line. UI thread only.

#include "controls/CSkinDialog.h"

#include <cstdint>

class CAbout : public CSkinDialog {
public:
    explicit CAbout(QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    friend struct CAboutTable;
};
