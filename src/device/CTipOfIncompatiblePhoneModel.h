#pragma once
// Shown instead of connecting when the chosen phone is one of the models this program cannot work
// with: why, and a link to the maker's software list. UI thread only.

#include "controls/CSkinDialog.h"

#include <cstdint>

class CTipOfIncompatiblePhoneModel : public CSkinDialog {
public:
    explicit CTipOfIncompatiblePhoneModel(QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDownloadPage(QWidget*, std::intptr_t, std::intptr_t);
    friend struct CTipOfIncompatiblePhoneModelTable;
};

// Shows the tip modally over parent.
void ShowIncompatibleModelTip(QWidget* parent);
