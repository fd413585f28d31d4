#include "service/browserpane.h"

BrowserPane::~BrowserPane() = default;
