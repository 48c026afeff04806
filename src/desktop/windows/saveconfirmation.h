#pragma once

#include "windows/form.h"

// Confirms a save; closes with "OK".
class SaveConfirmation final : public Form
{
    Q_OBJECT
public:
    SaveConfirmation();
};
