-- Neovim's side of the editor test: the shipped configuration starts
-- `scenarioc lsp` for the source on the command line; once the server's
-- diagnostics reach the buffer, they are written as JSON, read back through
-- Neovim's own API, and Neovim quits (environment: nvim_setup.lua).
local test = dofile(os.getenv('SCENARIO_SOURCE_DIR') .. '/tests/nvim_setup.lua')
if not test.start() then return end

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
    test.finish(vim.fn.json_encode({
      filetype = vim.bo.filetype,
      fileencoding = vim.bo.fileencoding,
      arrived = got,
      diagnostics = found,
    }))
  end,
})
