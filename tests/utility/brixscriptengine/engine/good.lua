engine_resource_chunk = 42
