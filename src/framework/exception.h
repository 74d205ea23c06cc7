// The framework's exception base, for the few places that catch one.
#pragma once

class CException {
 public:
  virtual ~CException() = default;
};
