// The whole host SDK.
#pragma once

#include "host/sdk/interfaces.h"
#include "host/sdk/material.h"
#include "host/sdk/mesh.h"
#include "host/sdk/plugin.h"
#include "host/sdk/scene.h"
#include "host/sdk/types.h"
#include "host/sdk/win.h"
