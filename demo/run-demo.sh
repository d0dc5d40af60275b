#!/usr/bin/env bash
echo demo
