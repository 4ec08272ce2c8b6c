-- Neovim's side of the editing test: the shipped configuration starts
-- `scenarioc lsp` for the source on the command line; the script waits for
-- the diagnostic SCENARIO_CODE, applies the quick fix offered on its line
-- (SCENARIO_LINE, 1-based), formats the buffer, waits for the diagnostic
-- to clear and for the configuration to show the inlay hints as virtual
-- text, then goes to the definition of the slow order on the line that
-- starts with SCENARIO_SLOW_ORDER, and writes what it saw as JSON
-- (environment: nvim_setup.lua). The source is never saved.
local test = dofile(os.getenv('SCENARIO_SOURCE_DIR') .. '/tests/nvim_setup.lua')
if not test.start() then return end
local code = os.getenv('SCENARIO_CODE')

local function has_code()
  for _, d in ipairs(vim.diagnostic.get(0)) do
    if d.code == code then return true end
  end
  return false
end

-- The virtual text the configuration shows on each line (0-based).
local function hints_shown(buf)
  local shown = {}
  for _, mark in ipairs(vim.api.nvim_buf_get_extmarks(
      buf, test.scenario.hint_namespace, 0, -1, { details = true })) do
    local text = ''
    for _, chunk in ipairs(mark[4].virt_text or {}) do text = text .. chunk[1] end
    shown[mark[2]] = text
  end
  return shown
end

local function count(t)
  local n = 0
  for _ in pairs(t) do n = n + 1 end
  return n
end

-- The window and cursor line of the view of cells a definition opened.
local function cell_view()
  for _, win in ipairs(vim.api.nvim_list_wins()) do
    local buf = vim.api.nvim_win_get_buf(win)
    if vim.api.nvim_buf_get_name(buf):match('%.cells$') then
      local row = vim.api.nvim_win_get_cursor(win)[1]
      return {
        name = vim.api.nvim_buf_get_name(buf),
        line = vim.api.nvim_buf_get_lines(buf, row - 1, row, false)[1],
        readonly = vim.bo[buf].readonly,
      }
    end
  end
  return nil
end

vim.api.nvim_create_autocmd('VimEnter', {
  callback = function()
    local source = vim.api.nvim_get_current_buf()
    local seen = vim.wait(20000, has_code, 20)
    -- The quick fix: the first action offered is taken.
    vim.ui.select = function(items, _, on_choice) on_choice(items[1], 1) end
    local row = tonumber(os.getenv('SCENARIO_LINE'))
    local before = vim.api.nvim_buf_get_lines(0, row - 1, row, false)[1]
    vim.api.nvim_win_set_cursor(0, { row, 0 })
    vim.lsp.buf.code_action({ only = { 'quickfix' } })
    local fixed = vim.wait(10000, function()
      return vim.api.nvim_buf_get_lines(0, row - 1, row, false)[1] ~= before
    end, 20)
    if vim.lsp.buf.format then
      vim.lsp.buf.format({ timeout_ms = 10000 })
    else
      vim.lsp.buf.formatting_sync(nil, 10000)
    end
    local mended = vim.wait(20000, function() return not has_code() end, 20)
    local lines = vim.api.nvim_buf_get_lines(0, 0, -1, false)
    -- The hints shown once the last change has been asked about again.
    vim.wait(10000, function()
      return (hints_shown(source)[row - 1] or ''):match('slot') ~= nil
    end, 20)
    local shown = hints_shown(source)

    local slow = vim.fn.search('^' .. os.getenv('SCENARIO_SLOW_ORDER'), 'nw')
    vim.api.nvim_win_set_cursor(0, { slow, 3 })
    vim.lsp.buf.definition()
    vim.wait(10000, function() return cell_view() ~= nil end, 20)
    test.finish(vim.fn.json_encode({
      seen = seen, fixed = fixed, mended = mended,
      hints = count(shown), hint = shown[row - 1] or '',
      text = table.concat(lines, '\n'),
      view = cell_view() or vim.NIL,
    }))
  end,
})
