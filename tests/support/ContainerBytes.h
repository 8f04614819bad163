// The container's byte builders live in the container model.
#pragma once

#include "ContainerModel.h"
