// The parts of the form framework that are the same on every platform: a form's resize event
// and the timer's settings. Each backend compiles this file beside its own.
#include "forms.h"

#include <memory>
#include <utility>

void TForm::ClientResized(int width, int height) {
  if (width == Width && height == Height) return;
  Width = width;
  Height = height;
  if (OnResize) OnResize(this);
}

TTimer::TTimer() {
  Application.AddTimer(this);
  Restart();
}

TTimer::~TTimer() {
  Application.RemoveTimer(this);
}

void TTimer::SetInterval(uint32_t milliseconds) {
  IntervalMs = milliseconds;
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == IsEnabled) return;
  IsEnabled = enabled;
  Restart();
}

void TApplication::DestroyForms() {
  while (!Forms.empty()) {
    std::unique_ptr<TForm> form = std::move(Forms.back());
    Forms.pop_back();
    if (form->OnDestroy) form->OnDestroy(form.get());
    if (form.get() == Main) Main = nullptr;
    form.reset();
  }
}
