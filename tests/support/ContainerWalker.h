// The strict walk of our own container files lives in the container model.
#pragma once

#include "ContainerModel.h"
