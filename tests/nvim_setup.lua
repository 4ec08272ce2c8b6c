-- What both Neovim scripts of the editor tests share: the file the result
-- goes to (SCENARIO_NVIM_OUT), how the script ends, and the shipped
-- configuration started for `scenarioc lsp` (SCENARIOC), read from the
-- source tree (SCENARIO_SOURCE_DIR).
local T = {}

-- Writes the result and quits Neovim.
function T.finish(text)
  local f = assert(io.open(os.getenv('SCENARIO_NVIM_OUT'), 'w'))
  f:write(text)
  f:close()
  vim.cmd('qa!')
end

-- Sets the shipped configuration up; false, the test skipped, where this
-- Neovim has no language-server client to test.
function T.start()
  if vim.lsp == nil or vim.diagnostic == nil or vim.ui == nil
      or (vim.lsp.start == nil and vim.lsp.start_client == nil) then
    T.finish('skip: this Neovim has no LSP client with vim.diagnostic')
    return false
  end
  T.scenario = dofile(os.getenv('SCENARIO_SOURCE_DIR')
    .. '/editors/neovim/scenario.lua')
  T.scenario.setup({ cmd = { os.getenv('SCENARIOC'), 'lsp' } })
  return true
end

return T
