#pragma once

// What the program does before its application object exists: the environment complete (the web
// engine's flags among it), the article page's scheme, GL sharing between web views and widgets,
// OpenSSL's exit. main() calls it first; the road tests call it before their application object,
// as main does.
void prepareBeforeApplication();
