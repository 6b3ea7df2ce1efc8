#include <stdlib.h>

#include <string>

#include "StoreFixture.h"

void IsolateStore() {
  char tmpl[] = "/tmp/karvo-store-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  setenv("XDG_CONFIG_HOME", tmpl, 1);
}
