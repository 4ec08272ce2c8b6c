-- Neovim's side of the editor test: the shipped configuration starts
-- `scenarioc lsp` for the source on the command line; once the server's
-- diagnostics reach the buffer, they are written as JSON, read back through
-- Neovim's own API, and Neovim quits. Environment: SCENARIO_SOURCE_DIR,
-- SCENARIOC (the program), SCENARIO_NVIM_OUT (the file to write).
local out = os.getenv('SCENARIO_NVIM_OUT')

local function finish(text)
  local f = assert(io.open(out, 'w'))
  f:write(text)
  f:close()
  vim.cmd('qa!')
end

if vim.lsp == nil or (vim.lsp.start == nil and vim.lsp.start_client == nil)
    or vim.diagnostic == nil then
  finish('skip: this Neovim has no LSP client with vim.diagnostic')
  return
end

dofile(os.getenv('SCENARIO_SOURCE_DIR') .. '/editors/neovim/scenario.lua')
  .setup({ cmd = { os.getenv('SCENARIOC'), 'lsp' } })

vim.api.nvim_create_autocmd('VimEnter', {
  callback = function()
    local got = vim.wait(20000, function()
      return #vim.diagnostic.get(0) > 0
    end, 20)
    local found = {}
    for _, d in ipairs(vim.diagnostic.get(0)) do
      table.insert(found, {
        lnum = d.lnum, col = d.col, end_col = d.end_col,
        severity = d.severity, source = d.source, code = d.code,
        message = d.message,
      })
    end
    finish(vim.fn.json_encode({
      filetype = vim.bo.filetype,
      fileencoding = vim.bo.fileencoding,
      arrived = got,
      diagnostics = found,
    }))
  end,
})
