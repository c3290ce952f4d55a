// The Wayland backend's outputs: wl_output and xdg-output describe each one, the logical
// rectangles (compositor space) are the monitors, and outputs come and go with the registry. An
// output counts only once its description is complete.
#include <algorithm>

#include "wayland/wayland_backend.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace {

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.GeometryX = x;
  output.GeometryY = y;
}

void OutputMode(void* data, wl_output* wlOutput, uint32_t flags, int32_t width, int32_t height,
                int32_t refresh) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.ModeWidth = width;
  output.ModeHeight = height;
  output.RefreshMilliHz = refresh;
  // Version 1 has no done event: the current mode completes the description.
  if (wl_output_get_version(wlOutput) < WL_OUTPUT_DONE_SINCE_VERSION) {
    output.WlDone = true;
    output.State->OutputChanged(output);
  }
}

void OutputDone(void* data, wl_output*) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.WlDone = true;
  output.State->OutputChanged(output);
}

void OutputScale(void* data, wl_output*, int32_t factor) {
  static_cast<TWlOutput*>(data)->Scale = factor > 0 ? factor : 1;
}

void OutputText(void*, wl_output*, const char*) {}

const wl_output_listener OutputListener = [] {
  wl_output_listener listener{};
  listener.geometry = OutputGeometry;
  listener.mode = OutputMode;
  listener.done = OutputDone;
  listener.scale = OutputScale;
  listener.name = OutputText;
  listener.description = OutputText;
  return listener;
}();

void XdgOutputPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.LogicalX = x;
  output.LogicalY = y;
  output.LogicalPositionKnown = true;
}

void XdgOutputSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.LogicalWidth = width;
  output.LogicalHeight = height;
  output.LogicalSizeKnown = true;
}

void XdgOutputDone(void* data, zxdg_output_v1* xdgOutput) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.XdgDone = true;
  // From version 3 on, wl_output.done closes the description; this event is not sent.
  if (zxdg_output_v1_get_version(xdgOutput) < 3) output.State->OutputChanged(output);
}

void XdgOutputText(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener XdgOutputListener = [] {
  zxdg_output_v1_listener listener{};
  listener.logical_position = XdgOutputPosition;
  listener.logical_size = XdgOutputSize;
  listener.done = XdgOutputDone;
  listener.name = XdgOutputText;
  listener.description = XdgOutputText;
  return listener;
}();

}  // namespace

void TWaylandState::AddOutput(uint32_t name, wl_output* proxy) {
  auto output = std::make_unique<TWlOutput>();
  output->State = this;
  output->Name = name;
  output->Output = proxy;
  wl_output_add_listener(output->Output, &OutputListener, output.get());
  AddOutputDescription(*output);
  Outputs.push_back(std::move(output));
}

void TWaylandState::AddOutputDescription(TWlOutput& output) {
  if (OutputManager == nullptr || output.XdgOutput) return;
  output.XdgOutput = zxdg_output_manager_v1_get_xdg_output(OutputManager, output.Output);
  zxdg_output_v1_add_listener(output.XdgOutput, &XdgOutputListener, &output);
}

void TWaylandState::ReleaseOutput(TWlOutput& output) {
  if (output.XdgOutput) zxdg_output_v1_destroy(output.XdgOutput);
  if (wl_output_get_version(output.Output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
    wl_output_release(output.Output);
  else
    wl_output_destroy(output.Output);
  output.XdgOutput = nullptr;
  output.Output = nullptr;
}

TScreenRect TWlOutput::Rect() const {
  if (LogicalSizeKnown && LogicalWidth > 0 && LogicalHeight > 0) {
    if (LogicalPositionKnown) return TScreenRect{LogicalX, LogicalY, LogicalWidth, LogicalHeight};
    return TScreenRect{GeometryX, GeometryY, LogicalWidth, LogicalHeight};
  }
  const int scale = Scale > 0 ? Scale : 1;
  return TScreenRect{GeometryX, GeometryY, ModeWidth / scale, ModeHeight / scale};
}

void TWaylandState::OutputChanged(TWlOutput& output) {
  const bool described = output.WlDone && (output.XdgOutput == nullptr || output.LogicalSizeKnown);
  if (!described) return;
  output.Described = true;
  DisplayChanged = true;
  // A new scale gives the surfaces on the output buffers of another size.
  for (const auto& [handle, window] : Windows)
    for (const auto& drawable : window->Drawables) FitBuffer(*drawable);
}

void TWaylandState::RemoveOutput(uint32_t name) {
  auto found = std::find_if(Outputs.begin(), Outputs.end(),
                            [name](const auto& output) { return output->Name == name; });
  if (found == Outputs.end()) return;
  // The surfaces on it go first; the compositor may have closed them already.
  for (const auto& [handle, window] : Windows)
    for (size_t i = window->Drawables.size(); i-- > 0;)
      if (window->Drawables[i]->OutputName == name) {
        DestroyDrawable(*window->Drawables[i]);
        window->Drawables.erase(window->Drawables.begin() + static_cast<ptrdiff_t>(i));
      }
  ReleaseOutput(**found);
  Outputs.erase(found);
  DisplayChanged = true;
}

TWlOutput* TWaylandState::OutputOf(uint32_t name) const {
  if (name == 0) return nullptr;
  for (const auto& output : Outputs)
    if (output->Name == name) return output.get();
  return nullptr;
}

std::vector<TWlOutput*> TWaylandState::DescribedOutputs() const {
  std::vector<TWlOutput*> described;
  for (const auto& output : Outputs) {
    const TScreenRect rect = output->Rect();
    if (output->Described && rect.Width > 0 && rect.Height > 0) described.push_back(output.get());
  }
  return described;
}

TScreenRect TWaylandState::Bounds() const {
  const std::vector<TWlOutput*> outputs = DescribedOutputs();
  if (outputs.empty()) return TScreenRect{};
  TScreenRect first = outputs[0]->Rect();
  int left = first.Left, top = first.Top;
  int right = left + first.Width, bottom = top + first.Height;
  for (const TWlOutput* output : outputs) {
    const TScreenRect r = output->Rect();
    left = std::min(left, r.Left);
    top = std::min(top, r.Top);
    right = std::max(right, r.Left + r.Width);
    bottom = std::max(bottom, r.Top + r.Height);
  }
  return TScreenRect{left, top, right - left, bottom - top};
}

std::vector<TScreenRect> TWaylandState::MonitorRects() {
  std::vector<TScreenRect> rects;
  for (const TWlOutput* output : DescribedOutputs()) rects.push_back(output->Rect());
  return rects;
}

double TWaylandState::DisplayRefreshRate() {
  const std::vector<TWlOutput*> outputs = DescribedOutputs();
  if (outputs.empty() || outputs[0]->RefreshMilliHz <= 0) return 0;
  return outputs[0]->RefreshMilliHz / 1000.0;
}
