// The small waiting window shown while the line speed is negotiated.
#pragma once

#include "platform/Forms.h"

class TFormChecking : public TForm {
 public:
  TFormChecking();
};

extern TFormChecking* FormChecking;
