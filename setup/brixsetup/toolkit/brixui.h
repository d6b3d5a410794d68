#pragma once
// The UI toolkit in one include: skinned windows built from XML layouts in
// the skin archive.
#include "uibase.h"
#include "uibuilder.h"
#include "uicontainer.h"
#include "uicontrol.h"
#include "uicontrols.h"
#include "uimanager.h"
#include "uiwindow.h"
