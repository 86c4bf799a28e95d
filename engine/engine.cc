#include "engine/engine.h"

namespace vessiko {

Engine::Engine(const EngineEnvironment& environment)
    : environment_(environment),
      heap_(environment.messages),
      state_(heap_),
      index_(heap_, Collation::loadCollationTable()),
      scope_(environment.scopeView, environment.folders, environment.messages),
      slots_(heap_),
      context_{index_, ui_, environment.messages, environment.resultView, scope_, state_},
      refresh_(context_),
      lifecycle_(LifecycleParts{index_, slots_, environment.drives, environment.files,
                                environment.clock, environment.messages, scope_, ui_,
                                environment.paths, &context_, &refresh_}) {}

Engine::~Engine() {
  lifecycle_.close(false);
}

}  // namespace vessiko
